#include "documentation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tavik7::platform {

namespace {

const QLatin1String kFolderName("Documentation");

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity kFileNameCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kFileNameCase = Qt::CaseSensitive;
#endif

QString folderBelow(const QString &base)
{
    // Plain concatenation: for the working directory the path must stay exactly
    // QDir::currentPath() + "/Documentation/<file>", as it always was.
    return base + QLatin1Char('/') + kFolderName;
}

} // namespace

QString installedDocumentationRelativePath()
{
#ifdef TAVIK7_DOCUMENTATION_RELATIVE_PATH
    return QStringLiteral(TAVIK7_DOCUMENTATION_RELATIVE_PATH);
#else
    return QStringLiteral("../share/tavik7-pc-software/Documentation");
#endif
}

QStringList documentationFolders(const QString &workingDir, const QString &executableDir,
                                 const QString &installedRelative)
{
    QStringList folders;
    QStringList seen; // cleaned forms, to recognise one place written twice
    const auto add = [&](const QString &folder) {
        const QString clean = QDir::cleanPath(folder);
        if (seen.contains(clean, kFileNameCase))
            return;
        seen.append(clean);
        folders.append(folder);
    };
    add(folderBelow(workingDir));
    if (!executableDir.isEmpty()) {
        add(folderBelow(executableDir));
        if (!installedRelative.isEmpty())
            add(QDir::cleanPath(QDir(executableDir).filePath(installedRelative)));
    }
    return folders;
}

QString documentationPath(const QString &fileName, const QString &workingDir,
                          const QString &executableDir, const QString &installedRelative)
{
    const QStringList folders = documentationFolders(workingDir, executableDir, installedRelative);
    for (const QString &folder : folders) {
        const QString path = folder + QLatin1Char('/') + fileName;
        if (QFileInfo(path).isFile())
            return path;
    }
    return folders.first() + QLatin1Char('/') + fileName;
}

QString manualPath(Manual manual)
{
    const char *const fileNames[] = {"Tavik7VUVozezoro.pdf", "Tavik7M_manual.pdf", "Tavik7_M_Programmierhandbuch.pdf"};
    return documentationPath(QLatin1String(fileNames[int(manual)]), QDir::currentPath(),
                             QCoreApplication::applicationDirPath(), installedDocumentationRelativePath());
}

} // namespace tavik7::platform
