#include "TCDBurner.h"

#include "TBurnThread.h"
#include "core/QuilloryError.h"
#include "core/SafeSaveFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <cerrno>
#include <csignal>

namespace
{

QString withSlash(const QString &folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

// A line of xorriso's packet output without its channel mark ("R:1: ", "I:1: ").
QString unpacked(const QString &line)
{
    static const QRegularExpression mark(QStringLiteral("^[RIM]:[01]: "));
    QString l = line;
    l.remove(mark);
    return l.trimmed();
}

// Each running program stages in a folder of its own: two windows (of two catalogues, or a
// read-only second one) sharing one would empty each other's staged files and burn what the
// other gathered. A folder of a program gone from this computer, cut off before it could empty
// it, goes now; the computer's name keeps those of another sharing the home folder apart.
QString ownBurnArea()
{
    const QString all =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/Quillory!/burn/");
    const QString host = QSysInfo::machineHostName() + u'-';
    const qint64 own = QCoreApplication::applicationPid();
    for (const QString &name : QDir(all).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!name.startsWith(host))
            continue;
        bool numeric = false;
        const qint64 pid = name.mid(host.size()).toLongLong(&numeric);
        if (numeric && pid > 0 && pid != own && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            QDir(all + name).removeRecursively();
    }
    return all + host + QString::number(own);
}

} // namespace

TCDBurner::TCDBurner(QObject *owner, const QString &xorriso, const QString &burnArea) : QObject(owner)
{
    if (!owner || !owner->isWidgetType())
        throw QuilloryError(QStringLiteral("Error: Component must be owned by TForm"));
    m_burnArea = withSlash(burnArea.isEmpty() ? ownBurnArea() : burnArea);
    m_xorriso = xorriso.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("xorriso")) : xorriso;
    if (m_xorriso.isEmpty() || !QFileInfo(m_xorriso).isExecutable()) {
        m_xorriso.clear();
        m_lastError = m_whyNotEquipped =
            QStringLiteral("xorriso was not found: install the xorriso package to burn discs.");
        return;
    }
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(m_xorriso, {QStringLiteral("-pkt_output"), QStringLiteral("on"), QStringLiteral("-devices")});
    const QByteArray out = p.waitForFinished(60000) ? p.readAll() : QByteArray();
    const QList<Device> devices = parseDevices(out);
    if (devices.isEmpty()) {
        m_lastError = m_whyNotEquipped = QStringLiteral("No CD Burner was found");
        return;
    }
    for (const Device &d : devices)
        if (d.writable)
            m_recorders.append(d.path);
    if (m_recorders.isEmpty()) {
        m_lastError = m_whyNotEquipped = QStringLiteral("CD Recording not enabled on Burn drive.");
        return;
    }
    m_equipped = true;
}

TCDBurner::~TCDBurner()
{
    if (m_thread) {
        m_cancel = true;
        disconnect(m_thread, nullptr, this, nullptr);
        m_thread->wait();
    }
}

QList<TCDBurner::Device> TCDBurner::parseDevices(const QByteArray &output)
{
    static const QRegularExpression dev(QStringLiteral("-dev\\s+'([^']+)'\\s+(\\S+)"));
    QList<Device> out;
    for (const QByteArray &raw : output.split('\n')) {
        const auto m = dev.match(unpacked(QString::fromLocal8Bit(raw)));
        if (m.hasMatch())
            out.append(Device{m.captured(1), m.captured(2).contains(u'w')});
    }
    return out;
}

std::optional<double> TCDBurner::parseProgress(const QString &line)
{
    static const QRegularExpression writing(QStringLiteral("Writing:\\s+\\S+\\s+([0-9]+(?:\\.[0-9]+)?)%"));
    const auto m = writing.match(line);
    if (!m.hasMatch())
        return std::nullopt;
    return m.captured(1).toDouble();
}

QString TCDBurner::failureText(const QStringList &lines, int exitCode)
{
    QString status;
    QString problem;
    for (const QString &raw : lines) {
        const QString l = unpacked(raw);
        if (l.startsWith(QLatin1String("Media status :")))
            status = l;
        if ((l.contains(QLatin1String(": FAILURE :")) || l.contains(QLatin1String(": SORRY :")) ||
             l.contains(QLatin1String(": FATAL :"))) &&
            !l.contains(QLatin1String("-abort_on")) && !l.contains(QLatin1String("-return_with")))
            problem = l;
    }
    // A drive without a disc, or with one that is full or closed, is the common case.
    if (!status.isEmpty() && !status.contains(QLatin1String("blank")) && !status.contains(QLatin1String("appendable")))
        return QStringLiteral("No writable disc is in the recorder.");
    if (!problem.isEmpty()) {
        // xorriso counts the room in 2 KB blocks ("Image size 192s exceeds free space on media 0s").
        static const QRegularExpression full(QStringLiteral("Image size (\\d+)s exceeds free space on media (\\d+)s"));
        if (const QRegularExpressionMatch m = full.match(problem); m.hasMatch()) {
            const auto mb = [](const QString &blocks) {
                return QString::number(blocks.toDouble() * 2048 / 1048576, 'f', 1);
            };
            return QStringLiteral(
                       "The compilation does not fit: it takes %1 MB, and where it is written %2 MB are free.")
                .arg(mb(m.captured(1)), mb(m.captured(2)));
        }
        return problem.mid(problem.indexOf(QLatin1String(" : "), problem.indexOf(QLatin1String(" : ")) + 3) + 3);
    }
    if (exitCode < 0)
        return QStringLiteral("xorriso did not finish: it was stopped, or it crashed.");
    return QStringLiteral("xorriso ended with code %1.").arg(exitCode);
}

qint64 TCDBurner::BurnSize() const
{
    qint64 size = m_stagedSize;
    if (!m_burnArea.isEmpty() && QFileInfo(m_burnArea).isDir()) {
        QDirIterator it(m_burnArea, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            size += it.fileInfo().size();
        }
    }
    return size;
}

bool TCDBurner::AddFile(const QString &fileName)
{
    const QFileInfo info(fileName);
    if (!info.isFile())
        return false;
    m_staged.append(info.absoluteFilePath());
    m_stagedSize += info.size();
    return true;
}

bool TCDBurner::AddFolder(const QString &folder)
{
    const QDir dir(folder);
    if (!QFileInfo(folder).isDir())
        return false;
    bool ok = true;
    for (const QString &n : dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name))
        ok = AddFile(dir.filePath(n)) && ok;
    for (const QString &n : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name))
        AddFolder(dir.filePath(n));
    return ok;
}

bool TCDBurner::ClearFiles()
{
    m_staged.clear();
    m_stagedSize = 0;
    if (m_burning) {
        m_lastError = QStringLiteral("Cannot delete staging files while burning!");
        return false;
    }
    const int left = emptyFolder(m_burnArea);
    if (left > 0) {
        m_lastError = QStringLiteral("Could not delete %1 files/folders in burn area").arg(left);
        return false;
    }
    return true;
}

int TCDBurner::emptyFolder(const QString &folder)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return 0;
    int left = 0;
    const QDir dir(folder);
    for (const QFileInfo &e :
         dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        if (e.isDir() && !e.isSymLink()) {
            left += emptyFolder(e.absoluteFilePath());
            if (!dir.rmdir(e.fileName()))
                ++left;
        } else if (!QFile::remove(e.absoluteFilePath()) && (QFileInfo::exists(e.absoluteFilePath()) || e.isSymLink())) {
            ++left;
        }
    }
    return left;
}

void TCDBurner::StartBurn(const QString &target, const QString &volumeLabel)
{
    const bool usable = isImageTarget(target) ? canWriteImage() : m_equipped && m_recorders.contains(target);
    if (m_burning || !usable) {
        Q_EMIT OnBurnDone(-1);
        return;
    }
    m_burning = true;
    m_succeeded = false;
    m_cancel = false;
    const QString image = isImageTarget(target) ? target.mid(6) : QString();
    // An image is written beside its place and put there whole: a burn cancelled or failed
    // leaves neither a cut image under the name nor the user's older image gone.
    const QString outdev = image.isEmpty() ? target : imageTarget(SafeSaveFile::partialName(image));
    QStringList args = {QStringLiteral("-pkt_output"), QStringLiteral("on"),      QStringLiteral("-report_about"),
                        QStringLiteral("UPDATE"),      QStringLiteral("-outdev"), outdev};
    if (!volumeLabel.trimmed().isEmpty())
        args << QStringLiteral("-volid") << volumeLabel.trimmed();
    // Joliet names as long as readers take them (paths past 240 characters, names up to 103, any
    // character): Windows reads no other names, so a stricter tree would hide deep files from it.
    args << QStringLiteral("-joliet") << QStringLiteral("on") << QStringLiteral("-compliance")
         << QStringLiteral("joliet_long_paths:joliet_long_names:joliet_utf16") << QStringLiteral("-map") << m_burnArea
         << QStringLiteral("/") << QStringLiteral("-commit_eject") << QStringLiteral("all");
    auto *thread = new TBurnThread(this, m_xorriso, args, m_staged, m_burnArea, image);
    m_thread = thread;
    connect(thread, &TBurnThread::progress, this, &TCDBurner::burnProgress);
    connect(thread, &TBurnThread::output, this, &TCDBurner::burnOutput);
    connect(thread, &TBurnThread::ended, this, &TCDBurner::burnEnded);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void TCDBurner::cancelBurn()
{
    if (m_burning)
        m_cancel = true;
}

QString TCDBurner::jolietNote(const QStringList &lines)
{
    int left = 0;
    for (const QString &line : lines)
        if (line.contains(QLatin1String("Joliet")) && line.contains(QLatin1String("WARNING")))
            ++left;
    if (left == 0)
        return QString();
    return QStringLiteral("%1 name(s) could not be kept whole for readers that use Joliet names only (Windows); "
                          "other systems read every name.")
        .arg(left);
}

void TCDBurner::burnEnded(bool ok, const QString &text)
{
    m_burning = false;
    m_succeeded = ok;
    m_note = ok ? text : QString();
    if (!ok)
        m_lastError = text;
    Q_EMIT OnBurnDone(0);
}
