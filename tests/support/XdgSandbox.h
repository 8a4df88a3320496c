#pragma once

#include <QString>
#include <QTemporaryDir>

// Points XDG_DATA_HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR at fresh folders for its lifetime,
// so no test ever reads or writes the real home folder.
class XdgSandbox {
public:
    XdgSandbox();
    ~XdgSandbox();
    XdgSandbox(const XdgSandbox&) = delete;
    XdgSandbox& operator=(const XdgSandbox&) = delete;

    QString Root() const { return mDir.path(); }
    QString DataHome() const;
    QString ConfigHome() const;
    // The application's data folder inside the sandbox (it need not exist yet).
    QString AppFolder() const;

private:
    QTemporaryDir mDir;
    QByteArray mOld[3];
    bool mHad[3] = {};
};
