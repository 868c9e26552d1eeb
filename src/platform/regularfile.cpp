#include "regularfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tavik7::platform {

bool openRegularFile(QFile &file, const QString &path, bool append)
{
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered
        | (append ? QIODevice::Append : QIODevice::OpenMode());
#ifdef Q_OS_UNIX
    const QByteArray native = QFile::encodeName(path);
    // Without O_NONBLOCK, a named pipe under the file's name would hold open(2)
    // until some reader came, and the window with it; a regular file takes no
    // notice of the flag, which is cleared again before the first write.
    const int fd = ::open(native.constData(),
                          O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | (append ? O_APPEND : 0), 0644);
    if (fd < 0)
        return false;
    struct stat st;
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0
        || !file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
#else
    const QFileInfo info(path);
    if (info.isSymLink() || info.isJunction() || (info.exists() && !info.isFile()))
        return false;
    file.setFileName(path);
    // Append even when the file is to be emptied: a plain WriteOnly would
    // truncate before the checks above could matter.
    return file.open(mode | QIODevice::Append);
#endif
}

bool stillAtPath(const QFile &file, const QString &path)
{
    if (!file.isOpen())
        return false;
#ifdef Q_OS_UNIX
    struct stat held;
    struct stat named;
    const QByteArray native = QFile::encodeName(path);
    return ::fstat(file.handle(), &held) == 0 && ::lstat(native.constData(), &named) == 0 && S_ISREG(named.st_mode)
        && held.st_dev == named.st_dev && held.st_ino == named.st_ino;
#else
    // An open file can be neither renamed nor removed here (Qt opens it
    // without FILE_SHARE_DELETE), so only a link could stand for it.
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink() && !info.isJunction();
#endif
}

OutputTarget outputTarget(const QString &path, bool standardOutput)
{
    if (standardOutput && path == QLatin1String(kStandardOutputName))
        return OutputTarget::StandardOutput;
#ifdef Q_OS_UNIX
    // Through a link, as the save will follow it to the file it names.
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return OutputTarget::File; // nothing there; the save says why if it cannot create it
    return S_ISREG(st.st_mode) ? OutputTarget::File : OutputTarget::Refused;
#else
    const QFileInfo info(path);
    return !info.exists() || info.isFile() ? OutputTarget::File : OutputTarget::Refused;
#endif
}

bool saveWholeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    const auto refuse = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QString notRegular = QStringLiteral("not a regular file");
    if (outputTarget(path) != OutputTarget::File)
        return refuse(notRegular);
    // Unbuffered, because QSaveFile commits even when flushing its buffer
    // fails (a full disk); the write then reports the failure itself.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return refuse(file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return refuse(why);
    }
    // Asked again at the last moment: a node put under the name while the
    // file was written must not be renamed over either.
    if (outputTarget(path) != OutputTarget::File) {
        file.cancelWriting();
        return refuse(notRegular);
    }
    if (!file.commit())
        return refuse(file.errorString());
    return true;
}

} // namespace tavik7::platform
