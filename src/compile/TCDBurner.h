#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <atomic>
#include <optional>

class TBurnThread;

// Burns discs with xorriso. Files to burn are gathered in the staging folder (BurnArea,
// ~/.cache/Quillory!/burn/ and the computer's name and the process id) and in a list of staged files; StartBurn hands
// both to a worker thread (TBurnThread), which runs xorriso and reports its progress, so the window stays free while a
// disc is written. The recorders are read once, when the burner is made. A target is a recorder's device, or "stdio:"
// and a file for a disc image, which needs no recorder at all.
class TCDBurner : public QObject
{
    Q_OBJECT
public:
    // owner must be a window. xorriso: the program to run (empty: xorriso found on the PATH);
    // burnArea: the staging folder (empty: the one in the user's cache).
    explicit TCDBurner(QObject *owner, const QString &xorriso = QString(), const QString &burnArea = QString());
    ~TCDBurner() override;

    // xorriso is there and found a recorder that may be written.
    bool Equipped() const { return m_equipped; }
    // The first recorder's device; empty unless Equipped.
    QString BurnerDrive() const { return m_equipped ? m_recorders.value(0) : QString(); }
    // Ends with "/".
    QString BurnArea() const { return m_burnArea; }
    bool IsBurning() const { return m_burning; }
    QString LastError() const { return m_lastError; }
    // Why there is no recorder to burn to, as found at creation; empty when Equipped.
    QString whyNotEquipped() const { return m_whyNotEquipped; }
    // What a burn would write: the staged files and everything already in BurnArea.
    qint64 BurnSize() const;
    // The recorders xorriso found, as devices.
    QStringList recorders() const { return m_recorders; }
    // Whether a disc image can be written (xorriso is there), recorder or not.
    bool canWriteImage() const { return !m_xorriso.isEmpty(); }

    bool AddFile(const QString &fileName);
    // Every file of folder and its subfolders, staged flat by file name.
    bool AddFolder(const QString &folder);
    // Forgets the staged files and empties BurnArea; false (and LastError) while burning or
    // when something could not be deleted.
    bool ClearFiles();
    // Burns to target with that volume label (empty: xorriso's own). Reports -1 through
    // OnBurnDone when a burn is running already or target cannot be written.
    void StartBurn(const QString &target, const QString &volumeLabel);
    // Stops a running burn; it then ends as failed.
    void cancelBurn();
    // Whether the last burn wrote its target completely.
    bool lastBurnSucceeded() const { return m_succeeded; }
    // After a burn that succeeded: what readers of Joliet names alone (Windows) miss of it, or
    // empty.
    QString lastBurnNote() const { return m_note; }
    // The note for xorriso's lines of a burn that succeeded.
    static QString jolietNote(const QStringList &lines);

    static QString imageTarget(const QString &fileName) { return QStringLiteral("stdio:") + fileName; }
    static bool isImageTarget(const QString &target) { return target.startsWith(QLatin1String("stdio:")); }
    // The devices listed by "xorriso -pkt_output on -devices", and whether each may be written.
    struct Device {
        QString path;
        bool writable = false;
    };
    static QList<Device> parseDevices(const QByteArray &output);
    // The percentage of a "Writing: ... 22.3% ..." line.
    static std::optional<double> parseProgress(const QString &line);
    // The message to show for a burn that failed, from xorriso's lines; exitCode -1 when xorriso
    // did not end by itself (killed, or crashed).
    static QString failureText(const QStringList &lines, int exitCode);

Q_SIGNALS:
    // On the main thread: 0 when a burn ended, -1 when StartBurn could not start one.
    void OnBurnDone(int iResult);
    void burnProgress(double percent);
    void burnOutput(const QString &line);

private:
    friend class TBurnThread;
    // text: the failure, or after a success what Joliet readers miss.
    void burnEnded(bool ok, const QString &text);
    int emptyFolder(const QString &folder);
    const std::atomic_bool &cancelFlag() const { return m_cancel; }

    QString m_xorriso;
    QString m_burnArea;
    QStringList m_recorders;
    bool m_equipped = false;
    bool m_burning = false;
    bool m_succeeded = false;
    QString m_lastError;
    QString m_note;
    QString m_whyNotEquipped;
    QStringList m_staged;
    qint64 m_stagedSize = 0;
    std::atomic_bool m_cancel = false;
    QPointer<TBurnThread> m_thread;
};
