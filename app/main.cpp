// The program's entry: the application object and title, the data module, then the main
// window and the message loop. "--script FILE" runs the window on the offscreen platform and
// performs the file's commands instead of waiting for a person.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "db/components/data_module.h"
#include "game/window/form4.h"
#include "game/window/script_runner.h"
#include "platform/ui/font_substitutes.h"

namespace {

const char* ScriptFile(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--script") == 0) return argv[i + 1];
  return nullptr;
}

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const char* script = ScriptFile(argc, argv);
  if (script != nullptr) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  } else if (!HasDisplay()) {
    std::fprintf(stderr,
                 "ペブリオ needs a display, and none is set (DISPLAY is empty).\n"
                 "Run it under a virtual X server instead, from the folder of the executable:\n"
                 "  cd build/bin && xvfb-run -a ./pebrio\n");
    return 1;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ペブリオ"));
  QApplication::setApplicationDisplayName(QStringLiteral("ペブリオ"));
  pebrio::ui::InstallFontSubstitutes();
  auto dataModule = std::make_unique<pebrio::TDataModule1>();

  if (script != nullptr) {
    pebrio::TScriptRunner runner([](const QByteArray& line) {
      std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
      std::fputc('\n', stdout);
      std::fflush(stdout);
    });
    QString error;
    const int code = runner.RunFile(QString::fromLocal8Bit(script), error);
    if (code != 0) std::fprintf(stderr, "pebrio: %s\n", error.toUtf8().constData());
    return code;
  }

  pebrio::TForm4 form;
  form.show();
  const int code = QApplication::exec();
  return code;
}
