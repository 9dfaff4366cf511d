// The asset generator's entry: `make_assets <folder>` (re)writes every generated picture and
// sound under <folder>. The help text in assets/ is written by hand and is not touched.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

#include "make_assets.h"

QString MakeSubFolder(const QString& out_dir, const QString& sub) {
  QDir dir(out_dir);
  if (!dir.mkpath(sub)) {
    std::fprintf(stderr, "make_assets: cannot create %s/%s\n", qPrintable(out_dir),
                 qPrintable(sub));
  }
  return dir.filePath(sub) + "/";
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_assets <output folder>\n");
    return 2;
  }
  // Painting into QImage needs the font and image-format machinery of QGuiApplication but
  // no display; the offscreen platform keeps the tool usable on build machines.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QGuiApplication app(argc, argv);
  const QString out_dir = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(out_dir)) {
    std::fprintf(stderr, "make_assets: cannot create %s\n", argv[1]);
    return 1;
  }
  const bool ok =
      WriteStonePictures(out_dir) && WriteWindowIcon(out_dir) && WriteSoundCues(out_dir);
  return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
