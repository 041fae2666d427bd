#pragma once

#include <QStringList>
#include <QThread>

class TCDBurner;

// The worker of one burn: copies the staged files into the staging folder, then runs xorriso
// on it, passing its progress on. It starts when made and deletes itself when done; the burner
// hears of the end on the main thread.
class TBurnThread : public QThread
{
    Q_OBJECT
public:
    TBurnThread(TCDBurner *burner, const QString &xorriso, const QStringList &arguments, const QStringList &staged,
                const QString &burnArea, const QString &imageFile);

Q_SIGNALS:
    void progress(double percent);
    void output(const QString &line);
    // text: the failure, or after a success TCDBurner::jolietNote.
    void ended(bool ok, const QString &text);

protected:
    void run() override;

private:
    TCDBurner *m_burner;
    QString m_xorriso;
    QStringList m_arguments;
    QStringList m_staged;
    QString m_burnArea;
    QString m_imageFile;
};
