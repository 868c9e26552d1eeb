#pragma once

#include <QString>
#include <QStringList>

// Where the Help menu finds the manuals. A technician who starts the program
// from its folder, from a shortcut with another start folder or from the
// desktop menu of an installed package should get the same documents.
namespace tavik7::platform {

// The installed documentation folder relative to the executable's folder, as
// the build system's install layout has it ("../share/tavik7-pc-software/
// Documentation" on Linux, "Documentation" on Windows, where the folder sits
// beside the program).
[[nodiscard]] QString installedDocumentationRelativePath();

// The folders looked in, in this order: "Documentation" below the working
// directory, "Documentation" beside the executable, and the installed folder
// (installedRelative resolved against the executable's folder). A folder that
// names the same place as an earlier one is left out.
[[nodiscard]] QStringList documentationFolders(const QString &workingDir, const QString &executableDir,
                                               const QString &installedRelative);

// The file to open: fileName in the first of the folders where it exists as a
// file. When it exists nowhere, the path below the working directory, so the
// viewer is asked for the place the technician would look first and the
// program stays silent as before.
[[nodiscard]] QString documentationPath(const QString &fileName, const QString &workingDir,
                                        const QString &executableDir,
                                        const QString &installedRelative);

// The manuals the Help menu opens.
enum class Manual { QuickGuide, UserManual, ProgrammerManual };

// The manual's file as documentationPath() finds it for this process: the
// working directory first, then beside the executable, then the installed
// folder. A program started from the desktop menu finds them too.
[[nodiscard]] QString manualPath(Manual manual);

} // namespace tavik7::platform
