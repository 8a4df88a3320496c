#include "XdgSandbox.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {
const char* const kVars[3] = {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"};
}

XdgSandbox::XdgSandbox() {
    const QString subdirs[3] = {DataHome(), ConfigHome(), mDir.path() + QStringLiteral("/runtime")};
    for (int i = 0; i < 3; ++i) {
        mHad[i] = qEnvironmentVariableIsSet(kVars[i]);
        mOld[i] = qgetenv(kVars[i]);
        QDir().mkpath(subdirs[i]);
        qputenv(kVars[i], QFile::encodeName(subdirs[i]));
    }
    QFile::setPermissions(subdirs[2], QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QStandardPaths::setTestModeEnabled(false);
}

XdgSandbox::~XdgSandbox() {
    for (int i = 0; i < 3; ++i) {
        if (mHad[i])
            qputenv(kVars[i], mOld[i]);
        else
            qunsetenv(kVars[i]);
    }
}

QString XdgSandbox::DataHome() const {
    return mDir.path() + QStringLiteral("/data");
}

QString XdgSandbox::ConfigHome() const {
    return mDir.path() + QStringLiteral("/config");
}

QString XdgSandbox::AppFolder() const {
    return DataHome() + QStringLiteral("/Kestrine");
}
