#pragma once
// The main window over a CD image in a sandbox: the shipped language files in
// the program folder, an output folder, cached titles for the disc, and
// scripted message boxes and choosers.
#include "app/Settings.h"
#include "cddb/DiscCache.h"
#include "platform/CdDrives.h"
#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "support/CdImages.h"
#include "support/TestSupport.h"
#include "UserInput.h"
#include "widgets/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace dwtest {

class MainFormFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        dw::AppSettings = dw::TAppSettings{};
        for (const char* name : {"CLan_German.ini", "CLan_English.ini", "Discwright.html"})
            QFile::copy(qEnvironmentVariable("DISCWRIGHT_SOURCE_DIR") + "/data/" + name, sandbox_.programDir() + "/" + name);
        QDir().mkpath(outputFolder());
        setting("CommonOptions", "OutputFolder", outputFolder() + "/");
    }
    void TearDown() override
    {
        window_.reset();
        dw::AppSettings = dw::TAppSettings{};
    }

    QString outputFolder() const { return sandbox_.path() + "/out"; }
    QString settingsFile() const { return sandbox_.configHome() + "/Quobel/Discwright/options.ini"; }

    // Writes one key of options.ini before the window loads it.
    void setting(const char* section, const char* key, const QString& value)
    {
        QDir().mkpath(sandbox_.configHome() + "/Quobel/Discwright");
        dw::IniFile ini(settingsFile());
        ini.writeString(section, key, value);
        ASSERT_TRUE(ini.save());
    }

    // A CD image with tracks of the given seconds, used as the drive, and
    // titles in the disc cache for the first tracks.
    void insertDisc(const std::vector<int>& seconds, const QStringList& titles = {}, bool silent = false)
    {
        CdImageOptions options;
        if (silent)
            options.silent();
        cue_ = makeCdImage(sandbox_.path(), seconds, options);
        qputenv("DISCWRIGHT_CD_IMAGES", cue_.toUtf8());
        dw::TDiscInfo disc;
        for (int i = 0; i < titles.size(); ++i)
            disc.DiscTitles[size_t(i + 1)] = titles[i];
        disc.DiscTrackCount = int(titles.size());
        ASSERT_TRUE(dw::DiscCache(dw::ComputeDiscKey(), dw::DiscCacheDirection::Write, disc));
    }

    dw::TMainForm& start(dw::TRipModeChoice mode = dw::TRipModeChoice::Auto)
    {
        window_ = std::make_unique<dw::TMainForm>(nullptr, mode);
        window_->show();
        EXPECT_TRUE(waitFor([&] { return window_->StartedUp(); }));
        return *window_;
    }

    QTreeWidget* list() const { return window_->findChild<QTreeWidget*>("ListView1"); }
    QAction* action(const char* name) const { return window_->findChild<QAction*>(name); }
    // The menu item chosen as the user chooses it.
    void choose(const char* name) const { chooseMenuItem(window_.get(), name); }

    // Runs handler on the next modal window to appear (polled from the event
    // loop, so it works while a modal loop runs).
    void onNextModal(std::function<void(QWidget*)> handler)
    {
        auto* timer = new QTimer(qApp);
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, [timer, handler] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                timer->stop();
                timer->deleteLater();
                handler(modal);
            }
        });
        timer->start();
    }

    Sandbox sandbox_;
    dw::ScriptedDialogs dialogs_;
    dw::ScopedDialogs useDialogs_{dialogs_};
    QString cue_;
    std::unique_ptr<dw::TMainForm> window_;
};

}  // namespace dwtest
