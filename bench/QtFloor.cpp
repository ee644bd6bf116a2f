// dw-qt-floor: the least any Qt Widgets program pays to show a window with a
// menu bar, a toolbar and a filled list on the offscreen platform, and to
// quit; nothing of Discwright is linked. gui_compare.sh sets the desktop
// program's start-up beside it.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    QMenu* file = window.menuBar()->addMenu(QStringLiteral("&File"));
    QAction* quit = file->addAction(QStringLiteral("E&xit"));
    window.addToolBar(QStringLiteral("Tools"))->addAction(quit);
    auto* list = new QTreeWidget(&window);
    list->setHeaderLabels({QStringLiteral("No."), QStringLiteral("Title"), QStringLiteral("Length"),
                           QStringLiteral("Size")});
    for (int i = 1; i <= 12; ++i) {
        auto* row = new QTreeWidgetItem(list);  // the list owns its rows
        row->setText(0, QString::number(i));
        row->setCheckState(0, Qt::Checked);
        row->setText(1, QStringLiteral("Track %1").arg(i));
    }
    window.setCentralWidget(list);
    window.statusBar()->showMessage(QStringLiteral("12 tracks"));
    window.resize(560, 420);
    window.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return QApplication::exec();
}
