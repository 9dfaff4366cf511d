// Splitting shell input into SQL statements. A statement ends at a ";" outside quotes ('...',
// "..."), brackets ([...]) and comments (/* ... */, and "--" to the end of the line, which
// the shell removes because the engine's SQL has only the bracketed form).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vuzode {

struct TSplitText {
  std::vector<std::string> Statements;  // complete, without their ";", never blank
  std::string Rest;                     // what follows the last ";" (an unfinished statement)
};

TSplitText SplitStatements(std::string_view text);
// Whether text holds nothing but blanks and comments.
bool IsBlankSql(std::string_view text);
// text without its "--" comments.
std::string StripLineComments(std::string_view text);

}  // namespace vuzode
