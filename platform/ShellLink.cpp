#include "platform/ShellLink.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#ifdef Q_OS_WIN
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

bool CreateShellLink(const QString& linkPath, const QString& target, const QString& workingFolder,
                     const QString& description)
{
    if (QFileInfo::exists(linkPath))
        return false;
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool saved = false;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        link->SetDescription(reinterpret_cast<LPCWSTR>(description.utf16()));
        link->SetPath(reinterpret_cast<LPCWSTR>(target.utf16()));
        link->SetWorkingDirectory(reinterpret_cast<LPCWSTR>(workingFolder.utf16()));
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            saved = SUCCEEDED(file->Save(reinterpret_cast<LPCWSTR>(linkPath.utf16()), FALSE));
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(init))
        CoUninitialize();
    return saved;
}

#else

bool CreateShellLink(const QString& linkPath, const QString& target, const QString& workingFolder,
                     const QString& description)
{
    QFile file(linkPath);
    // NewOnly: never replace a file, not even one that appears in the meantime.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    const QByteArray entry = "[Desktop Entry]\n"
                             "Type=Link\n"
                             "Name=" + QFileInfo(target).fileName().toUtf8() + "\n"
                             "Comment=" + description.toUtf8() + "\n"
                             "Icon=folder\n"
                             "URL=" + QUrl::fromLocalFile(target).toEncoded() + "\n"
                             "Path=" + workingFolder.toUtf8() + "\n";
    return file.write(entry) == entry.size() && file.flush();
}

#endif
