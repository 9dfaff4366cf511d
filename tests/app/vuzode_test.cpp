// The SQL shell driven as a user drives it: one table of command lines, inputs and expected
// outputs over a fixture table whose values hold NULLs, quotes, separators, line breaks and
// Japanese text; and .schema round trips through CREATE statements.
#include <gtest/gtest.h>

#include "tests/app/vuzode_support.h"

namespace vuzode_test {
namespace {

// Fixture table v: id (primary key), txt VARCHAR(30) with index BYNAME, n FLOAT, ok BOOLEAN.
void MakeFixture(const std::string& folder) {
  MakeTable(
      folder, "v",
      {{"id", kFieldInteger}, {"txt", kFieldString, 30}, {"n", kFieldFloat}, {"ok", kFieldBoolean}},
      {{"1", "ペブリオ", "1.5", "1"},
       {"2", "a|b,c", std::nullopt, "0"},
       {"3", "say \"hi\"", "-0.25", std::nullopt},
       {"4", "two\nlines", std::nullopt, std::nullopt}},
      true, {2});
}

struct TCase {
  const char* Name;
  std::vector<std::string> Args;  // "DB" stands for the database folder
  std::string Input;              // standard input
  std::string Out;                // standard output exactly
  std::string Err;                // a part of standard error ("" : empty)
  int Status = 0;
  std::string File;  // written to DB/file.txt before the run, when not empty
};

const std::string kAll = "SELECT * FROM v";

const TCase kCases[] = {
    {"list",
     {"DB", kAll},
     "",
     "1|ペブリオ|1.5|true\n2|a|b,c||false\n3|say \"hi\"|-0.25|\n4|two\nlines||\n",
     "",
     0,
     ""},
    {"list options",
     {"-header", "-separator", ";", "-nullvalue", "NULL", "DB", kAll},
     "",
     "id;txt;n;ok\n1;ペブリオ;1.5;true\n2;a|b,c;NULL;false\n3;say \"hi\";-0.25;NULL\n"
     "4;two\nlines;NULL;NULL\n",
     "",
     0,
     ""},
    {"csv",
     {"-csv", "-header", "DB", kAll},
     "",
     "id,txt,n,ok\r\n1,ペブリオ,1.5,true\r\n2,\"a|b,c\",,false\r\n3,\"say \"\"hi\"\"\",-0.25,\r\n"
     "4,\"two\nlines\",,\r\n",
     "",
     0,
     ""},
    {"json",
     {"-json", "DB", kAll},
     "",
     "[{\"id\":1,\"txt\":\"ペブリオ\",\"n\":1.5,\"ok\":true},\n"
     "{\"id\":2,\"txt\":\"a|b,c\",\"n\":null,\"ok\":false},\n"
     "{\"id\":3,\"txt\":\"say \\\"hi\\\"\",\"n\":-0.25,\"ok\":null},\n"
     "{\"id\":4,\"txt\":\"two\\nlines\",\"n\":null,\"ok\":null}]\n",
     "",
     0,
     ""},
    {"json empty result", {"-json", "DB", "SELECT id FROM v WHERE id > 9"}, "", "[]\n", "", 0, ""},
    {"box",
     {"-box", "DB", kAll},
     "",
     "┌────┬────────────┬───────┬───────┐\n"
     "│ id │ txt        │ n     │ ok    │\n"
     "├────┼────────────┼───────┼───────┤\n"
     "│  1 │ ペブリオ   │   1.5 │ true  │\n"
     "│  2 │ a|b,c      │       │ false │\n"
     "│  3 │ say \"hi\"   │ -0.25 │       │\n"
     "│  4 │ two\\nlines │       │       │\n"
     "└────┴────────────┴───────┴───────┘\n",
     "",
     0,
     ""},
    {"projection of a live result",
     {"DB", "SELECT ok, id FROM v WHERE id = 2"},
     "",
     "false|2\n",
     "",
     0,
     ""},
    {"-cmd before SQL",
     {"-cmd", ".mode csv", "-cmd", ".headers on", "DB", "SELECT id FROM v"},
     "",
     "id\r\n1\r\n2\r\n3\r\n4\r\n",
     "",
     0,
     ""},
    {"stdin: statements over lines, ';' and '--' in quotes, comments",
     {"DB"},
     ".headers on\nSELECT id, txt -- the text\n FROM v WHERE id = 1; SELECT id FROM v\n"
     "  WHERE txt = 'x;y--z' ;\n/* block; */ SELECT COUNT(*) AS c FROM v\n",
     "id|txt\n1|ペブリオ\nid\nc\n4\n",
     "",
     0,
     ""},
    {"-echo",
     {"-echo", "DB", "SELECT id FROM v WHERE id = 1"},
     "",
     "SELECT id FROM v WHERE id = 1;\n1\n",
     "",
     0,
     ""},
    {"-version", {"-version"}, "", "vuzode 1.0\n", "", 0, ""},
    {"unknown option", {"-frobnicate"}, "", "", "Error: unknown option: -frobnicate", 2, ""},
    {"bad SQL: the engine's message, status 1",
     {"DB", "SELEC id FROM v"},
     "",
     "",
     "Error: VUZODE Engine Error # 11949 SQL error - SELECT, INSERT, UPDATE, DELETE, CREATE, "
     "ALTER, or DROP keyword expected, instead found 'SELEC'",
     1,
     ""},
    {"a failed statement changes nothing; the next one runs",
     {"DB", "INSERT INTO v VALUES (1, 'dup', 0, TRUE); SELECT COUNT(*) FROM v"},
     "",
     "4\n",
     "Error: VUZODE Engine Error # 9729",
     1,
     ""},
    {"-bail stops at the first error",
     {"-bail", "DB", "SELECT x FROM nosuch; SELECT 1 FROM v"},
     "",
     "",
     "does not exist",
     1,
     ""},
    {"-bail on standard input",
     {"-bail", "DB"},
     "SELECT id FROM v WHERE id = 1;\nBAD;\n.tables\n",
     "1\n",
     "Error:",
     1,
     ""},
    {".tables", {"DB", ".tables"}, "", "v\n", "", 0, ""},
    {".indexes", {"DB", ".indexes v"}, "", "PRIMARY\nBYNAME\n", "", 0, ""},
    {".schema",
     {"DB", ".schema v"},
     "",
     "CREATE TABLE \"v\" (\n  \"id\" INTEGER,\n  \"txt\" VARCHAR(30),\n  \"n\" FLOAT,\n"
     "  \"ok\" BOOLEAN,\n  UNIQUE PRIMARY KEY (\"id\")\n);\n"
     "CREATE INDEX \"BYNAME\" ON \"v\" (\"txt\");\n",
     "",
     0,
     ""},
    {".schema of a missing table", {"DB", ".schema nosuch"}, "", "", "Error: no such table", 1, ""},
    {"unknown dot command",
     {"DB"},
     ".frob\nSELECT 1 FROM v WHERE id = 1;\n",
     "1\n",
     "Error: unknown command",
     1,
     ""},
    {".mode with a bad mode", {"DB", ".mode tabular"}, "", "", "usage: .mode", 1, ""},
    {".mode and .nullvalue on stdin",
     {"DB"},
     ".mode json\n.nullvalue -\nSELECT n FROM v WHERE id = 2;\n.mode list\n"
     "SELECT n FROM v WHERE id = 2;\n",
     "[{\"n\":null}]\n-\n",
     "",
     0,
     ""},
    {".read",
     {"DB"},
     ".read DB/file.txt\nSELECT 2 FROM v WHERE id = 1;\n",
     "1\n2\n",
     "",
     0,
     "SELECT id FROM v\n WHERE id = 1;\n"},
    {".read of a missing file", {"DB", ".read DB/none.sql"}, "", "", "Error: cannot open", 1, ""},
    {".import: good records in, bad ones reported by line",
     {"DB"},
     ".import --csv DB/file.txt v\nSELECT id, txt FROM v WHERE id > 4;\n",
     "5|with, comma\n6|quoted \"\" and\nbreak\n9|\n",
     "file.txt:4: 'x' is no number for column n",
     1,
     "5,\"with, comma\",1,true\n6,\"quoted \"\"\"\" and\nbreak\",2,false\n7,bad,x,true\n"
     "1,duplicate key,1,true\n8,too,few\n9,,,\n"},
    {".import reports every bad line",
     {"DB", ".import --csv DB/file.txt v"},
     "",
     "",
     "file.txt:2: VUZODE Engine Error # 9729",
     1,
     "10,a,1,1\n1,dup,1,1\n"},
    {".timer",
     {"DB"},
     ".timer on\nSELECT id FROM v WHERE id = 3;\n",
     "~Run Time: real ",
     "",
     0,
     ""},
};

std::string Substitute(const std::string& text, const std::string& folder) {
  std::string out = text;
  for (size_t at = out.find("DB"); at != std::string::npos; at = out.find("DB", at + 1))
    out.replace(at, 2, folder);
  return out;
}

TEST(Vuzode, CommandLinesInputsAndOutputs) {
  for (const TCase& c : kCases) {
    SCOPED_TRACE(c.Name);
    engine_test::TScratchFolder folder;
    MakeFixture(folder.Path());
    if (!c.File.empty()) WriteWhole(folder.Path() + "/file.txt", c.File);
    std::vector<std::string> args;
    for (const std::string& arg : c.Args) args.push_back(Substitute(arg, folder.Path()));
    const TRun run = RunShell(folder.Path(), args, Substitute(c.Input, folder.Path()));
    if (c.Out.starts_with("~")) {
      EXPECT_NE(run.Out.find(c.Out.substr(1)), std::string::npos) << run.Out;
    } else {
      EXPECT_EQ(run.Out, c.Out);
    }
    if (c.Err.empty()) {
      EXPECT_EQ(run.Err, "");
    } else {
      EXPECT_NE(run.Err.find(c.Err), std::string::npos) << run.Err;
    }
    EXPECT_EQ(run.Status, c.Status) << run.Err;
  }
}

// .schema written, run in an empty database and written again gives the same text: every
// column type, option and index flag the statements can express survives; an index mixing
// directions is written as a comment and made nowhere.
TEST(Vuzode, SchemaRecreatesTheTable) {
  engine_test::TScratchFolder first, second;
  const TRun made = RunShell(
      first.Path(),
      {first.Path(),
       "CREATE TABLE w (a INTEGER NOT NULL DEFAULT 5, b VARCHAR(10) MIN 'A' CHARCASE UPPER, "
       "c MONEY, d DECIMAL(10,2), e TIMESTAMP, f MEMO, g AUTOINC, h SMALLINT, i LARGEINT, "
       "j TIME, k BYTES(4), l DATE, m BOOLEAN, n WORD, o FLOAT DESCRIPTION 'it''s', "
       "DESC NOCASE PRIMARY KEY (b, a) COMPRESS FULL TEXT INDEX (b) DESCRIPTION 'tbl'); "
       "CREATE UNIQUE INDEX ix1 ON w (h, i); CREATE DESC INDEX ix2 ON w (c) COMPRESS DUPBYTE"});
  ASSERT_EQ(made.Status, 0) << made.Err;
  // An index with mixed directions, which only the engine can make.
  {
    TDataSession session;
    TDataDirectory& directory = session.OpenDirectory("fixture", first.Path());
    TTableDefinition definition;
    definition.Fields.push_back(engine_test::MakeField(1, "x", kFieldInteger));
    definition.Fields.push_back(engine_test::MakeField(2, "y", kFieldString, 8));
    definition.Indexes.push_back(IndexDescriptor{});
    IndexDescriptor mixed = engine_test::MakeIndexDefinition("MIXED", {1, 2}, false);
    mixed.FieldDescending[1] = true;
    definition.Indexes.push_back(mixed);
    TDataCursor cursor(directory);
    cursor.SetTableName("mix");
    cursor.SetExclusive(true);
    cursor.CreateTable(definition, false);
  }
  const TRun schema = RunShell(first.Path(), {first.Path(), ".schema"});
  ASSERT_EQ(schema.Status, 0) << schema.Err;
  EXPECT_NE(schema.Out.find("-- index MIXED of mix on (\"x\" ASC, \"y\" DESC) mixes directions"),
            std::string::npos)
      << schema.Out;
  WriteWhole(second.Path() + "/schema.sql", schema.Out);
  const TRun rerun =
      RunShell(second.Path(), {second.Path(), ".read " + second.Path() + "/schema.sql"});
  ASSERT_EQ(rerun.Status, 0) << rerun.Err;
  const TRun again = RunShell(second.Path(), {second.Path(), ".schema"});
  std::string expected = schema.Out;
  const size_t note = expected.find("-- index MIXED");
  expected.erase(note, expected.find('\n', note) + 1 - note);
  EXPECT_EQ(again.Out, expected);
}

}  // namespace
}  // namespace vuzode_test
