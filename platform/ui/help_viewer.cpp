// One viewer window per process, reused for every help request.
#include "platform/ui/help_viewer.h"

#include <QFile>
#include <QPointer>
#include <QTextBrowser>

namespace pebrio::ui {

void ShowHelpContents(const QString& helpFile, QWidget* owner) {
  static QPointer<QTextBrowser> viewer;
  if (!viewer) {
    viewer = new QTextBrowser(owner);
    viewer->setWindowFlag(Qt::Window);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->setOpenExternalLinks(false);
    viewer->resize(560, 620);
  }
  QFile file(helpFile);
  if (file.open(QIODevice::ReadOnly)) {
    viewer->setWindowTitle(QStringLiteral("ペブリオ ヘルプ"));
    viewer->setHtml(QString::fromUtf8(file.readAll()));
  } else {
    viewer->setWindowTitle(QStringLiteral("ヘルプ"));
    viewer->setPlainText(QStringLiteral("ヘルプ ファイルを開けません。\n%1\n(%2)")
                             .arg(helpFile, file.errorString()));
  }
  viewer->show();
  viewer->raise();
}

}  // namespace pebrio::ui
