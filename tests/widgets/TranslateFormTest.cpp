// Translating a window from a language file, on a small window that holds one
// control of every kind a language file addresses.
#include "widgets/TranslateForm.h"

#include "platform/IniFile.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

namespace {

template <typename T>
T* named(QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        throw std::runtime_error(std::string("no child ") + name);
    return found;
}

// A main window named MainForm with menus, a popup menu, controls of every
// translated kind, controls that are never translated, and an owned dialog.
std::unique_ptr<QMainWindow> makeWindow()
{
    auto w = std::make_unique<QMainWindow>();
    w->setObjectName("MainForm");
    w->setWindowTitle("Discwright");

    QMenu* file = w->menuBar()->addMenu("&File");
    file->setObjectName("N1");
    file->addAction("&New")->setObjectName("miNew");
    file->addSeparator()->setObjectName("N2");
    file->addAction("E&xit")->setObjectName("miExit");
    auto* popup = new QMenu(w.get());
    popup->setObjectName("PopupMenu1");
    popup->addAction("&Play")->setObjectName("miPlay");

    auto* central = new QWidget(w.get());
    auto* layout = new QVBoxLayout(central);
    w->setCentralWidget(central);
    auto add = [&](QWidget* c, const char* name) {
        c->setObjectName(name);
        layout->addWidget(c);
    };
    add(new QLabel("Title"), "lbTitle");
    add(new QPushButton("&Stop"), "bStop");
    add(new QCheckBox("Keep"), "ckbKeep");
    add(new QRadioButton("Mono"), "rbMono");
    auto* plainTool = new QToolButton;
    plainTool->setText("Tool");
    add(plainTool, "tbPlain");
    auto* extract = new QAction("E&xtract", w.get());
    extract->setObjectName("ActionExtract");
    auto* actionTool = new QToolButton;
    actionTool->setDefaultAction(extract);
    add(actionTool, "tbAction");
    add(new QGroupBox("Output"), "GroupBox1");

    auto* stereo = new QComboBox;
    stereo->addItems({"Stereo", "Joint Stereo", "Forced Joint Stereo", "Dual Channels", "Mono"});
    stereo->setCurrentIndex(4);
    add(stereo, "cbStereoMode");
    auto* server = new QComboBox;
    server->setEditable(true);
    server->addItems({"freedb.org", "mirror"});
    server->setEditText("custom.host");
    add(server, "cbServer");
    auto* script = new QComboBox;
    script->setEditable(true);
    script->addItems({"/cgi", "/other"});
    add(script, "cbScript");

    add(new QLineEdit("/music"), "editOutputDir");
    auto* flat = new QPushButton("Flat");
    flat->setProperty(dw::NoTranslateProperty, true);
    add(flat, "FlatButton1");

    auto* pages = new QTabWidget;
    for (const char* p : {"Output", "MP3", "Tags"}) {
        auto* page = new QWidget;
        auto* pl = new QVBoxLayout(page);
        if (QString(p) == "MP3") {
            auto* onPage = new QLabel("On a page");
            onPage->setObjectName("lbOnPage");
            pl->addWidget(onPage);
        }
        pages->addTab(page, p);
    }
    add(pages, "PageControl1");

    auto* list = new QTreeWidget;
    list->setHeaderLabels({"No.", "Title", "Length(min)", "Size(MB)"});
    add(list, "ListView1");
    auto* table = new QTableWidget(0, 3);
    table->setHorizontalHeaderItem(0, std::make_unique<QTableWidgetItem>("A").release());
    add(table, "Table1");
    auto* model = new QStandardItemModel(0, 2, w.get());
    model->setHorizontalHeaderLabels({"One", "Two"});
    auto* view = new QTableView;
    view->setModel(model);
    add(view, "View1");
    auto* simple = new QStatusBar;
    simple->showMessage("Ready");
    add(simple, "StatusBar2");

    QStatusBar* bar = w->statusBar();
    bar->setObjectName("StatusBar1");
    bar->addWidget(new QLabel("Tracks"));
    bar->addWidget(new QLabel("Idle"));

    auto* about = new QDialog(w.get());
    about->setObjectName("frmAbout");
    about->setWindowTitle("About");
    auto* aboutTitle = new QLabel("Title", about);
    aboutTitle->setObjectName("lbTitle");
    return w;
}

const char* const GermanFile =
    "[MainForm]\n"
    "MainForm=Hauptfenster\n"
    "lbTitle=Titel\n"
    "bStop=&Halt\n"
    "ckbKeep=Behalten\n"
    "rbMono=Einkanal\n"
    "tbPlain=Werkzeug\n"
    "tbAction=Auslesen\n"
    "GroupBox1=Ausgabeordner\n"
    "cbStereoMode_Text=Stereo\n"
    "cbStereoMode_Item0=Stereo (de)\n"
    "cbStereoMode_Item4=Einkanal\n"
    "cbStereoMode_Item9=out of range\n"
    "cbServer_Text=server.example\n"
    "cbServer_Item1=spiegel\n"
    "cbScript_Item0=/cgi-de\n"
    "editOutputDir=never\n"
    "FlatButton1=never\n"
    "PageControl1_Page0=Ausgabe\n"
    "PageControl1_Page2=Etiketten\n"
    "lbOnPage=Auf der Seite\n"
    "ListView1_Column0=Nr.\n"
    "ListView1_Column3=Gr\xc3\xb6\xc3\x9f" "e\n"
    "Table1_Column0=A-de\n"
    "Table1_Column2=C-de\n"
    "View1_Column1=Zwei\n"
    "StatusBar1_Panel1=Bereit\n"
    "StatusBar2=Einfach\n"
    "N1=wrong section\n"
    "miNew=wrong section\n"
    "[Menu_MainForm]\n"
    "N1=&Datei\n"
    "miNew=&Neu\n"
    "N2=separator\n"
    "miPlay=&Abspielen\n"
    "MainForm=not the caption\n"
    "[frmAbout]\n"
    "frmAbout=Info\n"
    "lbTitle=Info-Titel\n";

class TranslateFormTest : public ::testing::Test {
protected:
    void writeLanguage(const QString& name, const QByteArray& bytes)
    {
        sandbox_.write(sandbox_.programDir() + "/CLan_" + name + ".ini", bytes);
    }
    dwtest::Sandbox sandbox_;
};

TEST_F(TranslateFormTest, SetsTheTextsOfEveryControlKind)
{
    writeLanguage("German", GermanFile);
    auto w = makeWindow();
    ASSERT_TRUE(dw::TranslateForm(w.get(), "German"));

    EXPECT_EQ(w->windowTitle(), "Hauptfenster");
    EXPECT_EQ(named<QLabel>(w.get(), "lbTitle")->text(), "Titel");
    EXPECT_EQ(named<QPushButton>(w.get(), "bStop")->text(), "&Halt");
    EXPECT_EQ(named<QCheckBox>(w.get(), "ckbKeep")->text(), "Behalten");
    EXPECT_EQ(named<QRadioButton>(w.get(), "rbMono")->text(), "Einkanal");
    EXPECT_EQ(named<QToolButton>(w.get(), "tbPlain")->text(), "Werkzeug");
    EXPECT_EQ(named<QGroupBox>(w.get(), "GroupBox1")->title(), "Ausgabeordner");
    EXPECT_EQ(named<QLabel>(w.get(), "lbOnPage")->text(), "Auf der Seite");

    auto* pages = named<QTabWidget>(w.get(), "PageControl1");
    EXPECT_EQ(pages->tabText(0), "Ausgabe");
    EXPECT_EQ(pages->tabText(1), "MP3");  // no key
    EXPECT_EQ(pages->tabText(2), "Etiketten");

    auto* list = named<QTreeWidget>(w.get(), "ListView1");
    EXPECT_EQ(list->headerItem()->text(0), "Nr.");
    EXPECT_EQ(list->headerItem()->text(1), "Title");
    EXPECT_EQ(list->headerItem()->text(3), QString::fromUtf8("Gr\xc3\xb6\xc3\x9f" "e"));
    auto* table = named<QTableWidget>(w.get(), "Table1");
    EXPECT_EQ(table->horizontalHeaderItem(0)->text(), "A-de");
    EXPECT_EQ(table->horizontalHeaderItem(1), nullptr);  // no key: left alone
    ASSERT_NE(table->horizontalHeaderItem(2), nullptr);  // a heading without an item gets one
    EXPECT_EQ(table->horizontalHeaderItem(2)->text(), "C-de");
    auto* view = named<QTableView>(w.get(), "View1");
    EXPECT_EQ(view->model()->headerData(0, Qt::Horizontal).toString(), "One");
    EXPECT_EQ(view->model()->headerData(1, Qt::Horizontal).toString(), "Zwei");

    const QList<QLabel*> panels = w->statusBar()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(panels.size(), 2);
    EXPECT_EQ(panels[0]->text(), "Tracks");
    EXPECT_EQ(panels[1]->text(), "Bereit");
    EXPECT_EQ(named<QStatusBar>(w.get(), "StatusBar2")->currentMessage(), "Einfach");
}

TEST_F(TranslateFormTest, ComboBoxesTranslateEntriesAndKeepTheirSelection)
{
    writeLanguage("German", GermanFile);
    auto w = makeWindow();
    dw::TranslateForm(w.get(), "German");

    // The fifth entry (Mono) of the stereo mode list, still selected.
    auto* stereo = named<QComboBox>(w.get(), "cbStereoMode");
    EXPECT_EQ(stereo->itemText(0), "Stereo (de)");
    EXPECT_EQ(stereo->itemText(1), "Joint Stereo");
    EXPECT_EQ(stereo->itemText(4), "Einkanal");
    EXPECT_EQ(stereo->count(), 5);
    EXPECT_EQ(stereo->currentIndex(), 4);
    EXPECT_EQ(stereo->currentText(), "Einkanal");

    // An editable box: entries and its own edit text.
    auto* server = named<QComboBox>(w.get(), "cbServer");
    EXPECT_EQ(server->itemText(1), "spiegel");
    EXPECT_EQ(server->currentText(), "server.example");
    // Without a _Text key the edit text stays, even when its entry is renamed.
    auto* script = named<QComboBox>(w.get(), "cbScript");
    EXPECT_EQ(script->itemText(0), "/cgi-de");
    EXPECT_EQ(script->currentText(), "/cgi");
}

TEST_F(TranslateFormTest, MenuItemsReadOnlyTheirMenuSection)
{
    writeLanguage("German", GermanFile);
    auto w = makeWindow();
    dw::TranslateForm(w.get(), "German");

    auto* file = named<QMenu>(w.get(), "N1");
    EXPECT_EQ(file->title(), "&Datei");
    EXPECT_EQ(file->menuAction()->text(), "&Datei");
    EXPECT_EQ(named<QAction>(w.get(), "miNew")->text(), "&Neu");
    EXPECT_EQ(named<QAction>(w.get(), "miExit")->text(), "E&xit");
    EXPECT_EQ(named<QAction>(w.get(), "N2")->text(), QString());  // separator skipped
    EXPECT_TRUE(named<QAction>(w.get(), "N2")->isSeparator());
    EXPECT_EQ(named<QAction>(w.get(), "miPlay")->text(), "&Abspielen");  // popup menu item
    EXPECT_EQ(w->windowTitle(), "Hauptfenster");

    // The same keys in the window section alone change nothing.
    writeLanguage("Wrong", "[MainForm]\nN1=&Datei\nmiNew=&Neu\n");
    auto w2 = makeWindow();
    dw::TranslateForm(w2.get(), "Wrong");
    EXPECT_EQ(named<QMenu>(w2.get(), "N1")->title(), "&File");
    EXPECT_EQ(named<QAction>(w2.get(), "miNew")->text(), "&New");
}

TEST_F(TranslateFormTest, UntranslatedKindsOwnedWindowsAndActionsStayAsTheyWere)
{
    writeLanguage("German", GermanFile);
    auto w = makeWindow();
    dw::TranslateForm(w.get(), "German");

    EXPECT_EQ(named<QLineEdit>(w.get(), "editOutputDir")->text(), "/music");
    EXPECT_EQ(named<QPushButton>(w.get(), "FlatButton1")->text(), "Flat");
    // The owned dialog has its own section and translates when it is shown.
    auto* about = named<QDialog>(w.get(), "frmAbout");
    EXPECT_EQ(about->windowTitle(), "About");
    EXPECT_EQ(named<QLabel>(about, "lbTitle")->text(), "Title");
    dw::TranslateForm(about, "German");
    EXPECT_EQ(about->windowTitle(), "Info");
    EXPECT_EQ(named<QLabel>(about, "lbTitle")->text(), "Info-Titel");
    EXPECT_EQ(named<QLabel>(w.get(), "lbTitle")->text(), "Titel");

    // A tool button showing an action keeps its text when the action changes,
    // and the action's menu text is not touched.
    auto* tool = named<QToolButton>(w.get(), "tbAction");
    EXPECT_EQ(tool->text(), "Auslesen");
    auto* extract = named<QAction>(w.get(), "ActionExtract");
    extract->setEnabled(false);
    extract->setEnabled(true);
    EXPECT_EQ(tool->text(), "Auslesen");
    EXPECT_EQ(extract->text(), "E&xtract");
}

TEST_F(TranslateFormTest, MissingEmptyOrDamagedFilesChangeNothing)
{
    auto w = makeWindow();
    EXPECT_FALSE(dw::TranslateForm(w.get(), "Missing"));
    EXPECT_FALSE(dw::TranslateForm(w.get(), "../escape"));
    EXPECT_FALSE(dw::TranslateForm(nullptr, "German"));

    writeLanguage("Empty", "");
    EXPECT_TRUE(dw::TranslateForm(w.get(), "Empty"));

    QByteArray junk("\x00\xff[MainForm\n]=\n=x\n[[Menu_MainForm]]\nN1\n\xc3\x28\n", 40);
    for (int i = 0; i < 500; ++i)
        junk.append(char((i * 91 + 7) % 256));
    writeLanguage("Junk", junk);
    dw::TranslateForm(w.get(), "Junk");

    EXPECT_EQ(w->windowTitle(), "Discwright");
    EXPECT_EQ(named<QLabel>(w.get(), "lbTitle")->text(), "Title");
    EXPECT_EQ(named<QMenu>(w.get(), "N1")->title(), "&File");
    EXPECT_EQ(named<QComboBox>(w.get(), "cbStereoMode")->itemText(4), "Mono");
    EXPECT_EQ(w->statusBar()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly).at(1)->text(), "Idle");

    // A window without a name has no section.
    writeLanguage("German", GermanFile);
    QLabel unnamed("Title");
    dw::TranslateForm(&unnamed, "German");
    EXPECT_EQ(unnamed.text(), "Title");
}

TEST_F(TranslateFormTest, AnEmptyValueIsATranslationAndAnOpenFileCanBeReused)
{
    writeLanguage("Blank", "[MainForm]\nlbTitle=\n");
    auto w = makeWindow();
    const dw::IniFile file(sandbox_.programDir() + "/CLan_Blank.ini");
    dw::TranslateForm(w.get(), file);
    EXPECT_EQ(named<QLabel>(w.get(), "lbTitle")->text(), QString());
    EXPECT_EQ(named<QPushButton>(w.get(), "bStop")->text(), "&Stop");
}

}  // namespace
