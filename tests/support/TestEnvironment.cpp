#include "tests/support/TestEnvironment.h"

#include "platform/Exception.h"
#include "platform/UserPrompt.h"

#include "platform/FileNames.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

TTempFolder::TTempFolder()
{
    FDir.setAutoRemove(false);
}

TTempFolder::~TTempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(EncodeFileName(FDir.path()).toStdString()), ignored);
}

QString WriteFileNamedBytes(const QString& folder, const QByteArray& name, const QByteArray& content)
{
    const QByteArray path = EncodeFileName(folder) + '/' + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, content.constData(), size_t(content.size())) != content.size())
        throw std::runtime_error("cannot write " + path.toStdString());
    ::close(fd);
    return DecodeFileName(path);
}

TSandboxHome::TSandboxHome()
{
    if (!FDir.isValid())
        throw std::runtime_error("no temporary folder");
    const QByteArray home = QFile::encodeName(FDir.path());
    qputenv("HOME", home);
    qputenv("XDG_DATA_HOME", home + "/.local/share");
    qputenv("XDG_CONFIG_HOME", home + "/.config");
    qputenv("XDG_CACHE_HOME", home + "/.cache");
    qputenv("XDG_RUNTIME_DIR", home + "/runtime");
    qputenv("XDG_DESKTOP_DIR", home + "/Desktop");
    QDir(FDir.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(FDir.path() + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir(FDir.path()).mkpath(QStringLiteral("Desktop"));
}

QString TestDataPath(const QString& name)
{
    return QStringLiteral(ERECHNUNG_TEST_DATA_DIR "/") + name;
}

QByteArray ReadTestData(const QString& name)
{
    return ReadFileBytes(TestDataPath(name));
}

QString CorpusDir()
{
    const QString dir = QStringLiteral(ERECHNUNG_CORPUS_DIR);
    return QFile::exists(dir + QStringLiteral("/manifest.tsv")) ? dir : QString();
}

QString ProfileSamplesDir()
{
    const QString dir = QStringLiteral(ERECHNUNG_PROFILE_SAMPLES_DIR);
    return QFile::exists(dir + QStringLiteral("/reference.tsv")) ? dir : QString();
}

QString CorpusPath(const QString& name)
{
    return CorpusDir() + QLatin1Char('/') + name;
}

void WriteFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

QByteArray ReadFileBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    return f.readAll();
}

QString ErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Exception& e) {
        return e.Message();
    }
    return {};
}

QList<TPrompt> PromptsWith(const QString& caption)
{
    QList<TPrompt> found;
    for (const TPrompt& p : TUserPrompt::Asked()) {
        if (p.Caption == caption)
            found << p;
    }
    return found;
}

QStringList PromptTexts(const QString& caption)
{
    QStringList texts;
    for (const TPrompt& p : PromptsWith(caption))
        texts << p.Text;
    return texts;
}

namespace {

// The peak resident memory of the process since it was last reset, from the kernel's own
// account (Linux: VmHWM, reset by writing 5 to clear_refs); 0 elsewhere.
double StatusMiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

void ResetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

constexpr bool SanitizerBuild()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

} // namespace

TCost CostOf(const std::function<void()>& call)
{
    ResetPeak();
    const double before = StatusMiB("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    call();
    TCost cost;
    cost.Seconds = timer.nsecsElapsed() / 1e9;
    cost.PeakMiB = std::max(0.0, StatusMiB("VmHWM:") - before);
    return cost;
}

double TimeBoundSeconds(double seconds)
{
    return SanitizerBuild() ? seconds * 8 : seconds;
}

double MemoryBoundMiB(double mib)
{
    return SanitizerBuild() ? mib * 4 : mib;
}
