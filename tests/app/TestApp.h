#pragma once

#include "App.h"

#include <memory>

// A fresh application object for one test case (the suite makes no global one).
std::unique_ptr<App> NewTestApp();

#include "Prefs.h"
#include "ScriptedDesktop.h"
#include "XdgSandbox.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

// A case with its own XDG folders, application object, scripted dialogs, empty preferences and a
// scratch folder.
struct AppTest : ::testing::Test {
    XdgSandbox sandbox;
    std::unique_ptr<App> app;
    ScriptedDesktop* desktop = nullptr;
    QTemporaryDir dir;
    void SetUp() override {
        app = NewTestApp();
        desktop = &ScriptedDesktop::InstallNew();
        Prefs::Reset();
    }
    void TearDown() override {
        Desktop::Install(nullptr);
        Prefs::Reset();
        app.reset();
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
};
