#include "DiscAdder.h"
#include "core/AsciiCase.h"

#include "ImageScanner.h"
#include "Scanner.h"
#include "core/FormatSize.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"
#include "store/Catalogue.h"
#include "store/CatalogueLocale.h"
#include "store/CatalogueSwitch.h"
#include "store/ContentsFile.h"
#include "store/ContentsList.h"
#include "store/SingleLine.h"
#include "store/TreeFile.h"
#include "store/TreeNames.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <sys/statvfs.h>

DiscAdder::DiscAdder(Catalogue &catalogue, ScanOptions options) : m_catalogue(catalogue), m_options(std::move(options))
{
}

QString DiscAdder::CheckTitle(const QString &title)
{
    return TreeNames::TitleProblem(title);
}

QString DiscAdder::CheckDetails(const DiscDetails &details)
{
    const QString title = CheckTitle(details.title);
    if (!title.isNull())
        return title;
    if (details.genre.contains(u'|'))
        return QStringLiteral("Disc genre cannot contain \"|\" character!");
    if (details.description.contains(u'|'))
        return QStringLiteral("Disc description cannot contain \"|\" character!");
    // The stored description keeps its line breaks as "~!": typed, it would come back as one.
    if (details.description.contains(u"~!"))
        return QStringLiteral("Disc description cannot contain \"~!\": it stands for a line break!");
    return QString();
}

QString DiscAdder::alreadyInDatabaseQuestion()
{
    return QStringLiteral("Disc is already in database. Do you want to update entry?");
}

QString DiscAdder::noDriveChosenMessage()
{
    return QStringLiteral("No drive is chosen.\rChoose one in the \"Drive\" list.");
}

QString DiscAdder::discNotPresentMessage(const QString &drive)
{
    if (drive.isEmpty())
        return noDriveChosenMessage();
    return QStringLiteral("Disc not present!\rInsert disc into device ") + drive +
           QStringLiteral(" and press \"Add\" button again.");
}

QString DiscAdder::CorrectLabel(const QString &label)
{
    QString s = label;
    for (QChar &c : s)
        c = QChar(LowcaseAZ(c.unicode()));
    if (s.isEmpty())
        return s;
    s[0] = QChar(UpcaseAZ(s[0].unicode()));
    for (qsizetype i = 1; i < s.size(); ++i) {
        if (s[i] == u'_')
            s[i] = u' ';
        if (s[i - 1] == u' ')
            s[i] = QChar(UpcaseAZ(s[i].unicode()));
    }
    return s;
}

bool DiscAdder::isValidSerial(const QString &serial)
{
    if (serial.size() != 8)
        return false;
    for (QChar c : serial)
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')))
            return false;
    return true;
}

quint64 DiscAdder::bytesToRead(const QString &root, quint64 totalSize)
{
    struct statvfs fs;
    if (root.isEmpty() || ::statvfs(QFile::encodeName(root).constData(), &fs) != 0 || fs.f_blocks < fs.f_bfree)
        return totalSize;
    const quint64 used = quint64(fs.f_blocks - fs.f_bfree) * fs.f_frsize;
    return totalSize ? std::min(used, totalSize) : used;
}

QString DiscAdder::readingText(quint64 read, quint64 total, qint64 elapsedMs)
{
    QString text = QStringLiteral("%1 of %2").arg(FormatSize(qint64(read)), FormatSize(qint64(std::max(read, total))));
    if (elapsedMs < 1000 || read == 0)
        return text;
    const double rate = double(read) * 1000 / double(elapsedMs);
    text += QStringLiteral(", %1/s").arg(FormatSize(qint64(rate)));
    if (read < total) {
        const qint64 left = qint64(double(total - read) / rate + 0.5);
        text += left >= 3600 ? QStringLiteral(", %1:%2:%3 left")
                                   .arg(left / 3600)
                                   .arg(left / 60 % 60, 2, 10, QLatin1Char('0'))
                                   .arg(left % 60, 2, 10, QLatin1Char('0'))
                             : QStringLiteral(", %1:%2 left").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'));
    }
    return text;
}

void DiscAdder::setDetails(TCD &cd, const DiscDetails &details)
{
    cd.Title = TextCodec::sanitizeLine(details.title);
    // The record keeps CR LF line ends, whatever the text box or the command line gave.
    QString description = details.description;
    description.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    cd.Description = MultiToSingle(description.replace(QLatin1String("\n"), QLatin1String("\r\n")));
    cd.Genre = TextCodec::sanitizeLine(details.genre);
    cd.Number = details.number;
}

DiscDetails DiscAdder::detailsOf(const TCD &cd)
{
    DiscDetails d;
    d.title = cd.Title;
    d.genre = cd.Genre;
    d.description = SingleToMulti(cd.Description).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    d.number = cd.Number;
    return d;
}

DiscDetails DiscAdder::keptDetails(const TreeNode &disc)
{
    DiscDetails d = detailsOf(*disc.cd());
    // A new scan of the contents does not bring a lent disc back.
    if (disc.kind() == KindLent)
        d.lentTo = disc.cd()->BorrowedTo;
    return d;
}

QString DiscAdder::changeDisc(GroupTree &tree, TreeNode *disc, const DiscDetails &details)
{
    if (!disc || !disc->isDisc() || !disc->cd())
        return QStringLiteral("No disc is selected.");
    const QString problem = CheckDetails(details);
    if (!problem.isNull())
        return problem;
    TCD cd = *disc->cd();
    setDetails(cd, details);
    // A disc lent without a borrower's name stays lent for the run; the record alone would say present.
    const int kind = disc->kind();
    tree.setCD(disc, cd);
    tree.setKind(disc, kind);
    return QString();
}

TreeNode *DiscAdder::existing(const QString &serial) const
{
    return FindCD(m_catalogue.tree().root(), serial);
}

TreeNode *DiscAdder::parentFor(TreeNode *selected) const
{
    if (!selected)
        return m_catalogue.tree().root();
    return selected->isGroup() ? selected : selected->parent();
}

qint32 DiscAdder::nextNumber() const
{
    return static_cast<qint32>(DoGroup(m_catalogue.tree().root()).discs + 1);
}

bool DiscAdder::readsEveryByte(const TreeNode *replace) const
{
    if (m_options.checksums)
        return true;
    if (!replace || !replace->cd())
        return false;
    try {
        return ContentsFile::hasChecksums(m_catalogue.dbFolder(), replace->cd()->Serial);
    } catch (const QuilloryError &) {
        return false; // a damaged entry is replaced as a new one would be
    }
}

quint64 DiscAdder::scanToLists(const DiscVolume &volume, bool checksums)
{
    const QString db = m_catalogue.dbFolder();
    const QString fileName = ContentsFile::fileListName(db, volume.serial);
    const QString folderName = ContentsFile::folderListName(db, volume.serial);
    const QString sumName = ContentsFile::checksumListName(db, volume.serial);
    QFile files(fileName), folders(folderName), sums(sumName);
    // Whatever happens, no loose list stays behind in the database folder.
    auto discard = [&] {
        files.close();
        folders.close();
        sums.close();
        QFile::remove(fileName);
        QFile::remove(folderName);
        QFile::remove(sumName);
    };
    // A checksum list left by a scan that was killed must not be packed with this one.
    QFile::remove(sumName);
    if (!files.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        !folders.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        (checksums && !sums.open(QIODevice::WriteOnly | QIODevice::Truncate))) {
        const QString why = !files.isOpen()     ? files.errorString()
                            : !folders.isOpen() ? folders.errorString()
                                                : sums.errorString();
        discard();
        throw QuilloryError(QStringLiteral("Cannot create the lists of disc %1 in \"%2\": %3")
                                .arg(volume.serial, QDir::toNativeSeparators(db), why));
    }
    quint64 size = 0;
    m_unreadable.clear();
    try {
        ScanOptions options = m_options;
        options.checksums = checksums;
        Scanner scanner(options, &files, &folders);
        if (checksums)
            scanner.setChecksumList(&sums);
        scanner.setTotalSize(volume.totalSize);
        scanner.setProcessEvents(m_processEvents);
        scanner.setGauge(m_gauge);
        scanner.resetCounters();
        try {
            size = volume.image.isEmpty() ? scanner.Scan(volume.root) : ImageScanner(scanner).Scan(volume.image);
        } catch (...) {
            m_scannedBytes = scanner.scannedBytes();
            throw;
        }
        m_scannedBytes = scanner.scannedBytes();
        m_unreadable = scanner.problems();
        if (m_scanCheck)
            m_scanCheck();
        if (!files.flush() || !folders.flush() || (sums.isOpen() && !sums.flush()))
            throw QuilloryError(QStringLiteral("Cannot write the lists of disc %1: %2")
                                    .arg(volume.serial, files.error() != QFileDevice::NoError     ? files.errorString()
                                                        : folders.error() != QFileDevice::NoError ? folders.errorString()
                                                                                                  : sums.errorString()));
        // A list the catalogue would refuse to read back must not take the place of anything.
        for (const QFile *list : {&files, &folders})
            if (list->size() > ContentsList::MaxBytes)
                throw QuilloryError(QStringLiteral("The disc is not added. ") +
                                    ContentsList::tooLargeMessage(list->size()));
    } catch (...) {
        discard();
        throw;
    }
    files.close();
    folders.close();
    sums.close();
    return size;
}

TreeNode *DiscAdder::add(const DiscVolume &volume, const DiscDetails &details, TreeNode *parent, TreeNode *replace)
{
    m_unfinished.clear();
    const QString detailsError = CheckDetails(details);
    if (!detailsError.isNull())
        throw QuilloryError(detailsError);
    // The serial names files in the database folder: nothing else may reach it.
    if (!isValidSerial(volume.serial))
        throw QuilloryError(
            QStringLiteral("The serial number \"%1\" is not eight hexadecimal digits.").arg(volume.serial));
    GroupTree &tree = m_catalogue.tree();
    if (!parent)
        parent = tree.root();
    if (!parent || parent->isDisc())
        throw QuilloryError(QStringLiteral("A disc can only be added to a group."));
    if (replace && (parent == replace || parent->isInside(replace)))
        parent = replace->parent();
    if (!TreeLimits::fitsUnder(parent->level()))
        throw QuilloryError(QStringLiteral("A disc cannot be filed more than %1 levels deep; choose a group higher up.")
                                .arg(TreeLimits::MaxDepth));

    m_catalogue.ensureDbFolder();
    const QString db = m_catalogue.dbFolder();

    // The contents file and the tree with the new record are switched in together, so a kill
    // leaves the old record over the old contents (or no record, and no file) or the new over
    // the new. A new disc's file replaces nothing and is written straight into DB.
    if (!m_catalogue.canSave())
        throw QuilloryError(QStringLiteral("The group tree could not be read, so no disc is added to it."));
    const QString contents = ContentsFile::contentsFileName(QString(), volume.serial);
    CatalogueSwitch change(db);
    change.begin({contents});
    TreeNode *added = nullptr;
    try {
        const quint64 size = scanToLists(volume, readsEveryByte(replace));
        ContentsFile::pack(db, volume.serial, change.placeFor(contents).chopped(contents.size()));
        // The record is one line of "|"-separated fields: what the system reports must not break it.
        auto field = [](QString text) { return TextCodec::sanitizeLine(text.replace(u'|', u'_')); };
        TCD cd;
        setDetails(cd, details);
        cd.VolumeLabel = field(volume.label);
        cd.Serial = volume.serial;
        cd.FileSystem = field(volume.fileSystem);
        cd.Size = static_cast<qint64>(size);
        cd.Date = CatalogueLocale().formatDateTime(QDateTime::currentDateTime());
        // The borrower is the record's last field, where a "|" is the name's own.
        if (details.lentTo)
            cd.BorrowedTo = TextCodec::sanitizeLine(*details.lentTo);
        added = tree.addDisc(parent, cd);
        if (details.lentTo)
            tree.setKind(added, KindLent);
        QStringList lines = TreeToLines(tree);
        if (replace) {
            // The old entry's lines are left out; the entry itself stays in memory until the
            // switch, should the change not go through. Its lines are those of its place in
            // the walk the lines are made in.
            qsizetype first = -1, count = 0, at = 0;
            tree.forEachPreOrder([&](TreeNode *n) {
                if (n->isInside(replace)) {
                    if (first < 0)
                        first = at;
                    ++count;
                }
                ++at;
            });
            lines.remove(first, count);
        }
        TextCodec::writeLines(change.stagingFolder() + QLatin1String(TreeFileName), lines);
        change.commit({contents, QLatin1String(TreeFileName)});
    } catch (...) {
        // One kind of failure for the front ends, whatever the layer below threw.
        const QString reason = currentExceptionText();
        if (!change.committed()) {
            if (added)
                tree.removeNode(added);
            change.discard();
            throw QuilloryError(reason);
        }
        // Committed: the disc is in the catalogue, and the tree in memory is the committed one;
        // the rest is carried through at the next start.
        m_unfinished = QStringLiteral("The disc was added, but not every file of the catalogue could be put in "
                                      "place yet; that is done at the next start.\n") +
                       reason;
    }
    if (replace)
        tree.removeNode(replace);
    return added;
}
