#include "ContentsListing.h"

#include "ExtensionIconCache.h"
#include "FileTypes.h"
#include "SearchHits.h"
#include "core/FormatSize.h"
#include "core/SizeSum.h"
#include "store/CatalogueLocale.h"
#include "store/ContentsList.h"
#include "store/ContentsRecord.h"
#include "store/GroupTree.h"

#include <algorithm>
#include <numeric>

static const QString kFolder = FileTypes::kindText(ContentsEntry::Folder);
static const QString kCompressed = FileTypes::kindText(ContentsEntry::Archive);

// A size that is no number (or below zero) counts as 0 rather than failing a whole listing.
static qint64 parseSize(QByteArrayView v)
{
    qint64 n = 0;
    return ContentsRecord::parseSize(v, n) && n >= 0 ? n : 0;
}

ContentsListing::ContentsListing(ExtensionIconCache *icons) : m_icons(icons) {}

ContentsListing::~ContentsListing() = default;

void ContentsListing::clear()
{
    m_rows.clear();
    m_stored.clear();
    m_hits.reset();
    m_total = 0;
}

void ContentsListing::setDisc(const QString &serial, const QString &title, std::shared_ptr<const ContentsList> files,
                              std::shared_ptr<const ContentsList> dirs,
                              std::shared_ptr<const ContentsChecksums> checksums)
{
    m_serial = serial;
    m_title = title;
    m_files = std::move(files);
    m_dirs = std::move(dirs);
    m_checksums = std::move(checksums);
    m_foundPath = QString();
}

const ContentsList &ContentsListing::listOf(const Row &r) const
{
    return r.source == SourceDirs ? *m_dirs : *m_files;
}

ContentsList::Folder ContentsListing::folder(const QString &path) const
{
    static const ContentsList none;
    if (m_foundPath.isNull() || m_foundPath != path) {
        m_found = ContentsList::findFolder(m_dirs ? *m_dirs : none, m_files ? *m_files : none, path);
        m_foundPath = path;
    }
    return m_found;
}

int ContentsListing::FindDir(const QString &path)
{
    ContentsEntry up;
    up.kind = ContentsEntry::Up;
    up.caption = QStringLiteral("..");
    up.image = ExtensionIconCache::ImageFolder;
    addEntry(up);
    if (!m_dirs)
        return 0;
    const ContentsList::Records recs = folder(path).subfolders;
    m_rows.reserve(m_rows.size() + recs.size());
    for (int rec : recs) {
        const qint64 size = parseSize(m_dirs->lineBytes(rec, ContentsRecord::SizeLine));
        m_rows.push_back({ContentsEntry::Folder, SourceDirs, ExtensionIconCache::ImageFolder, rec, -1, size});
        addCapped(m_total, size);
    }
    return static_cast<int>(recs.size());
}

int ContentsListing::typeIdFor(QByteArrayView name)
{
    const QByteArray key = FileTypes::typeKey(name);
    auto it = m_typeByKey.constFind(key);
    if (it != m_typeByKey.constEnd())
        return it.value();
    const int id = static_cast<int>(m_typeNames.size());
    m_typeNames.append(FileTypes::GetFileType(QString::fromUtf8(name)));
    m_typeByKey.insert(key, id);
    return id;
}

// Extensions of up to eight bytes packed into one number: the per-record lookup of a big
// folder then costs no allocation.
static bool packExtension(QByteArrayView name, quint64 &key)
{
    const qsizetype dot = name.lastIndexOf('.');
    const QByteArrayView ext = dot < 0 ? QByteArrayView() : name.sliced(dot);
    if (ext.size() > 8)
        return false;
    key = 0;
    for (char c : ext)
        key = (key << 8) | static_cast<unsigned char>(c);
    key |= quint64(ext.size()) << 60;
    return true;
}

void ContentsListing::fileLook(QByteArrayView name, int &image, int &typeId)
{
    quint64 key;
    // The shortcut by extension holds only for names whose extension decides their type.
    if (FileTypes::extensionDecides(name) && packExtension(name, key)) {
        auto it = m_byPackedExt.constFind(key);
        if (it == m_byPackedExt.constEnd())
            it = m_byPackedExt.insert(key, {m_icons->imageForUtf8(name), typeIdFor(name)});
        image = it->first;
        typeId = it->second;
    } else {
        image = m_icons->imageForUtf8(name);
        typeId = typeIdFor(name);
    }
}

void ContentsListing::setHits(std::shared_ptr<const SearchHits> hits)
{
    clear();
    m_hits = std::move(hits);
    if (!m_hits)
        return;
    const size_t n = static_cast<size_t>(m_hits->count());
    // Each hit's row is made in the order the hits are stored, and then taken in the answer's.
    std::vector<Row> stored(n);
    for (size_t at = 0; at < n; ++at) {
        const ContentsEntry::Kind kind = m_hits->storedKind(at);
        int image = ExtensionIconCache::ImageFolder;
        int typeId = -1;
        if (kind != ContentsEntry::Folder) {
            fileLook(m_hits->storedName(at), image, typeId);
            if (kind == ContentsEntry::Archive)
                image = ExtensionIconCache::ImageArchive;
        }
        stored[at] = {static_cast<quint8>(kind), SourceHits, image, 0, typeId, m_hits->storedSize(at)};
        addCapped(m_total, stored[at].size);
    }
    m_rows.resize(n);
    for (size_t i = 0; i < n; ++i) {
        m_rows[i] = stored[m_hits->storedAt(static_cast<int>(i))];
        m_rows[i].index = static_cast<qint32>(i);
    }
}

bool ContentsListing::inOddGroup(int row) const
{
    const Row &r = m_rows[idx(row)];
    return r.source == SourceHits && m_hits->inOddGroup(r.index);
}

int ContentsListing::FindFiles(const QString &path)
{
    if (!m_files)
        return 0;
    const ContentsList &files = *m_files;
    const ContentsList::Records recs = folder(path).files;
    m_rows.reserve(m_rows.size() + recs.size());
    for (int rec : recs) {
        const QByteArrayView name = files.lineBytes(rec, ContentsRecord::NameLine);
        const qint64 size = parseSize(files.lineBytes(rec, ContentsRecord::SizeLine));
        quint8 kind = ContentsEntry::File;
        int image;
        int typeId;
        fileLook(name, image, typeId);
        if (files.isArchive(rec)) {
            kind = ContentsEntry::Archive;
            image = ExtensionIconCache::ImageArchive;
        }
        m_rows.push_back({kind, SourceFiles, image, rec, typeId, size});
        addCapped(m_total, size);
    }
    return static_cast<int>(recs.size());
}

QString ContentsListing::discKind(const QString &fs)
{
    const QString u = fs.toUpper();
    if (u == QLatin1String("CDFS") || u == QLatin1String("ISO9660"))
        return QStringLiteral("Compact Disc");
    if (u == QLatin1String("UDF"))
        return QStringLiteral("DVD Disc");
    if (u == QLatin1String("NTFS") || u == QLatin1String("FAT32") || u == QLatin1String("FAT"))
        return QStringLiteral("Hard Disk");
    return QStringLiteral("Removable Media");
}

ContentsEntry ContentsListing::groupEntry(const TreeNode *group, const QString &listedGroup)
{
    const GroupTotals t = DoGroup(group);
    ContentsEntry e;
    e.kind = ContentsEntry::Group;
    e.caption = group->text();
    e.image = ExtensionIconCache::ImageGroup;
    e.size = t.size;
    e.columns = {QStringLiteral("Group"),
                 listedGroup,
                 FormatSize(t.size),
                 QStringLiteral("n/a"),
                 QStringLiteral("Contains:"),
                 QStringLiteral("Discs: %1").arg(t.discs),
                 QStringLiteral("Sub-Groups: %1").arg(t.groups)};
    e.info = {QStringLiteral("Type: Group"),
              QStringLiteral("Path: ") + listedGroup,
              QStringLiteral("Size: ") + FormatSize(t.size),
              QStringLiteral("IntSize: %1").arg(t.size),
              QStringLiteral("Date: n/a"),
              QStringLiteral("Contains: "),
              QStringLiteral("Discs: %1").arg(t.discs),
              QStringLiteral("Sub-Groups: %1").arg(t.groups)};
    return e;
}

ContentsEntry ContentsListing::discEntry(const TreeNode *disc, const QString &listedGroup)
{
    const TCD &cd = *disc->cd();
    const QString kind = discKind(cd.FileSystem);
    ContentsEntry e;
    e.kind = ContentsEntry::Disc;
    e.caption = cd.Title;
    e.image = ExtensionIconCache::ImageDisc;
    e.place = EntryPlace(cd.Title, cd.Serial, QString());
    e.size = cd.Size;
    e.columns = {kind, listedGroup, FormatSize(cd.Size), cd.Date, QStringLiteral("CD Number: %1").arg(cd.Number)};
    e.info = {QStringLiteral("Type: ") + kind,
              QStringLiteral("Path: ") + listedGroup,
              QStringLiteral("Size: ") + FormatSize(cd.Size),
              QStringLiteral("IntSize: %1").arg(cd.Size),
              QStringLiteral("Date: ") + cd.Date,
              QStringLiteral("CD Number: %1").arg(cd.Number)};
    if (!cd.Genre.isEmpty()) {
        e.columns.append(QStringLiteral("Genre: ") + cd.Genre);
        e.info.append(QStringLiteral("Genre: ") + cd.Genre);
    }
    e.info.append(QStringLiteral("Serial: ") + cd.Serial);
    return e;
}

void ContentsListing::listGroup(const TreeNode *group)
{
    clear();
    if (!group)
        return;
    for (int i = 0; i < group->childCount(); ++i) {
        const TreeNode *c = group->child(i);
        if (c->isDisc() && c->cd())
            addEntry(discEntry(c, group->text()));
        else if (c->isGroup())
            addEntry(groupEntry(c, group->text()));
    }
    m_total = DoGroup(group).size;
}

int ContentsListing::addEntry(const ContentsEntry &entry)
{
    const int pos = static_cast<int>(m_stored.size());
    m_stored.push_back(entry);
    m_rows.push_back({entry.kind, SourceStored, entry.image, pos, -1, entry.size});
    return count() - 1;
}

QString ContentsListing::caption(int row) const
{
    const Row &r = m_rows[idx(row)];
    if (r.source == SourceStored)
        return m_stored[static_cast<size_t>(r.index)].caption;
    if (r.source == SourceHits)
        return QString::fromUtf8(m_hits->name(r.index));
    const ContentsList &list = listOf(r);
    return QString::fromUtf8(r.source == SourceDirs ? list.folderName(r.index)
                                                    : list.lineBytes(r.index, ContentsRecord::NameLine));
}

QString ContentsListing::typeText(const Row &r) const
{
    if (r.kind == ContentsEntry::Folder)
        return kFolder;
    if (r.kind == ContentsEntry::Archive)
        return kCompressed;
    return r.typeId >= 0 ? m_typeNames.at(r.typeId) : QString();
}

QString ContentsListing::text(int row, int column) const
{
    const Row &r = m_rows[idx(row)];
    if (r.source == SourceStored) {
        const ContentsEntry &e = m_stored[static_cast<size_t>(r.index)];
        return column == 0 ? e.caption : e.column(column - 1);
    }
    if (r.source == SourceHits) {
        switch (column) {
        case 0:
            return caption(row);
        case 1:
            return typeText(r);
        case 2:
            return m_hits->location(r.index);
        case 3:
            return FormatSize(r.size);
        case 4:
            return QString::fromUtf8(m_hits->date(r.index));
        default:
            return m_hits->details(r.index).value(column - 5);
        }
    }
    const ContentsList &list = listOf(r);
    switch (column) {
    case 0:
        return caption(row);
    case 1:
        return typeText(r);
    case 2:
        return placeOf(r).text();
    case 3:
        return FormatSize(r.size);
    case 4:
        return list.line(r.index, ContentsRecord::DateLine);
    default:
        break;
    }
    // Further columns: the detail lines of a file record.
    int further = column - 5;
    if (r.source != SourceFiles)
        return QString();
    for (int i = ContentsRecord::FixedLines, n = list.lineCount(r.index); i < n; ++i) {
        const QByteArrayView l = list.lineBytes(r.index, i);
        if (ContentsRecord::isDetailLine(l) && further-- == 0)
            return QString::fromUtf8(l);
    }
    return QString();
}

ContentsEntry ContentsListing::entry(int row) const
{
    const Row &r = m_rows[idx(row)];
    if (r.source == SourceStored)
        return m_stored[static_cast<size_t>(r.index)];
    if (r.source == SourceHits)
        return m_hits->entry(r.index, typeText(r), r.image);
    const ContentsList &list = listOf(r);
    ContentsEntry e;
    e.kind = static_cast<ContentsEntry::Kind>(r.kind);
    e.caption = caption(row);
    e.image = r.image;
    e.place = placeOf(r);
    e.size = r.size;
    const QString type = r.source == SourceDirs ? kFolder : (r.typeId >= 0 ? m_typeNames.at(r.typeId) : QString());
    const QString path = e.place.text();
    const QString size = list.line(r.index, ContentsRecord::SizeLine);
    const QString date = list.line(r.index, ContentsRecord::DateLine);
    e.columns = {type, path, FormatSize(r.size), date};
    e.info = {QStringLiteral("Type: ") + type,    QStringLiteral("Path: ") + path,
              QStringLiteral("IntSize: ") + size, QStringLiteral("Size: ") + FormatSize(r.size),
              QStringLiteral("Date: ") + date,    QStringLiteral("SN: ") + m_serial};
    if (r.source == SourceFiles) {
        if (list.isArchive(r.index)) {
            e.image = ExtensionIconCache::ImageArchive;
            e.columns[0] = kCompressed;
            e.info[0] = kCompressed;
        }
        for (int i = ContentsRecord::FixedLines, n = list.lineCount(r.index); i < n; ++i) {
            const QByteArrayView l = list.lineBytes(r.index, i);
            if (ContentsRecord::isDetailLine(l)) {
                e.columns.append(QString::fromUtf8(l));
                e.info.append(QString::fromUtf8(l));
            }
        }
        if (m_checksums && m_checksums->has(r.index)) {
            e.checksum = QString::fromLatin1(m_checksums->hex(r.index));
            e.info.append(e.checksumLine());
        }
    }
    return e;
}

QStringList ContentsListing::info(int row) const
{
    return entry(row).info;
}

EntryPlace ContentsListing::place(int row) const
{
    return placeOf(m_rows[idx(row)]);
}

bool ContentsListing::insideZip(int row) const
{
    const Row &r = m_rows[idx(row)];
    if (r.source == SourceHits)
        return m_hits->insideZip(r.index);
    if (r.source == SourceFiles)
        return !listOf(r).folderInArchive(r.index).isNull();
    return placeOf(r).insideZip();
}

EntryPlace ContentsListing::placeOf(const Row &r) const
{
    if (r.source == SourceStored)
        return m_stored[static_cast<size_t>(r.index)].place;
    if (r.source == SourceHits)
        return m_hits->place(r.index);
    const ContentsList &list = listOf(r);
    const QString folder = list.line(r.index, ContentsRecord::FolderLine);
    const QByteArrayView inArchive = r.source == SourceFiles ? list.folderInArchive(r.index) : QByteArrayView();
    // An archive entry's folder line is the archive itself; its folder inside follows.
    if (inArchive.isNull())
        return EntryPlace(m_title, m_serial, folder);
    return EntryPlace(m_title, m_serial, folder + QString::fromUtf8(inArchive), folder);
}

QString ContentsListing::extension(int row) const
{
    const Row &r = m_rows[idx(row)];
    if (r.source == SourceHits && r.kind != ContentsEntry::Folder)
        return ExtensionIconCache::extensionOf(QString::fromUtf8(m_hits->name(r.index)));
    if (r.source != SourceFiles)
        return QString();
    return ExtensionIconCache::extensionOf(listOf(r).line(r.index, ContentsRecord::NameLine));
}

QByteArrayView ContentsListing::captionBytes(const Row &r, QByteArray &scratch) const
{
    if (r.source == SourceStored) {
        scratch = m_stored[static_cast<size_t>(r.index)].caption.toUtf8();
        return scratch;
    }
    if (r.source == SourceHits)
        return m_hits->name(r.index);
    const ContentsList &list = listOf(r);
    return r.source == SourceDirs ? list.folderName(r.index) : list.lineBytes(r.index, ContentsRecord::NameLine);
}

std::vector<int> ContentsListing::sort(ExplorerColumn key, bool ascending)
{
    const size_t n = m_rows.size();
    // Texts that are not slices of the lists are kept here for the length of the sort.
    QByteArray captionScratch;
    std::vector<QByteArray> textStore;
    std::vector<ExplorerSortItem> items(n);
    // Each distinct date text converted once: a list holds few of them.
    constexpr qint64 NoDay = std::numeric_limits<qint64>::min();
    QHash<QByteArrayView, qint64> dayCache; // the texts stay where they are for the length of the sort
    CatalogueLocale locale;
    std::vector<QByteArray> typeUtf8;
    for (const QString &t : m_typeNames)
        typeUtf8.push_back(t.toUtf8());
    static const QByteArray folderUtf8 = kFolder.toUtf8();
    // The captions side by side: the comparisons then read them from one block rather than
    // from records spread over the whole list (a folder of a list in no particular order).
    // A search's hits in the order they are stored, where their texts lie one after another.
    const bool allHits = m_hits && n == static_cast<size_t>(m_hits->count()) &&
                         std::all_of(m_rows.begin(), m_rows.end(), [](const Row &r) { return r.source == SourceHits; });
    QByteArray captions;
    std::vector<qsizetype> captionAt(n + 1, 0);
    for (size_t i = 0; i < n; ++i) {
        captions.append(allHits ? m_hits->storedName(i) : captionBytes(m_rows[i], captionScratch));
        captionAt[i + 1] = captions.size();
    }
    const auto dayOf = [&](QByteArrayView date) {
        auto c = dayCache.constFind(date);
        if (c == dayCache.constEnd()) {
            const QDateTime dt = locale.parseDateTime(QString::fromUtf8(date));
            c = dayCache.insert(date, dt.isValid() ? dt.date().toJulianDay() : NoDay);
        }
        return c.value();
    };
    if (!m_stored.empty() || (key == ExplorerColumn::Path && !allHits))
        textStore.resize(n);
    // A search's hits share few places: the text of each made once.
    std::vector<QByteArray> placeTexts;
    std::vector<quint32> placeOfHit(allHits && key == ExplorerColumn::Path ? n : 0);
    QHash<quint64, quint32> placeIds;
    for (size_t at = 0; at < placeOfHit.size(); ++at) {
        const quint64 id = m_hits->storedPlaceId(at);
        auto p = placeIds.constFind(id);
        if (p == placeIds.constEnd()) {
            p = placeIds.insert(id, static_cast<quint32>(placeTexts.size()));
            placeTexts.push_back(m_hits->storedPlace(at).text().toUtf8());
        }
        placeOfHit[at] = *p;
    }
    std::vector<qint64> hitDays(allHits && key == ExplorerColumn::Date ? n : 0);
    for (size_t at = 0; at < hitDays.size(); ++at)
        hitDays[at] = dayOf(m_hits->storedDate(at));
    const auto captionOf = [&](size_t i) {
        const size_t at = allHits ? m_hits->storedAt(m_rows[i].index) : i;
        return QByteArrayView(captions.constData() + captionAt[at], captionAt[at + 1] - captionAt[at]);
    };

    for (size_t i = 0; i < n; ++i) {
        const Row &r = m_rows[i];
        ExplorerSortItem &it = items[i];
        it.isUp = r.kind == ContentsEntry::Up;
        it.caption = captionOf(i);
        const ContentsEntry *stored = r.source == SourceStored ? &m_stored[static_cast<size_t>(r.index)] : nullptr;
        const QString storedType = stored ? stored->column(0) : QString();
        it.isFolder = stored ? storedType == kFolder : r.kind == ContentsEntry::Folder;
        it.isGroup = stored && storedType == QLatin1String("Group");
        switch (key) {
        case ExplorerColumn::Name:
            it.text = it.caption;
            break;
        case ExplorerColumn::Type:
            if (stored) {
                textStore[i] = storedType.toUtf8();
                it.text = textStore[i];
            } else if (r.kind == ContentsEntry::Folder) {
                it.text = folderUtf8;
            } else if (r.kind == ContentsEntry::Archive) {
                it.text = ContentsRecord::CompressedFolder;
            } else if (r.typeId >= 0) {
                it.text = typeUtf8[static_cast<size_t>(r.typeId)];
            }
            break;
        case ExplorerColumn::Path:
            if (allHits) {
                it.text = placeTexts[placeOfHit[m_hits->storedAt(r.index)]];
            } else {
                textStore[i] = text(static_cast<int>(i), 2).toUtf8();
                it.text = textStore[i];
            }
            break;
        case ExplorerColumn::Size:
            it.number = r.size;
            break;
        case ExplorerColumn::Date: {
            qint64 day;
            if (allHits) {
                day = hitDays[m_hits->storedAt(r.index)];
            } else if (stored) {
                textStore[i] = stored->column(3).toUtf8();
                day = dayOf(textStore[i]);
            } else {
                day = dayOf(r.source == SourceHits ? m_hits->date(r.index)
                                                   : listOf(r).lineBytes(r.index, ContentsRecord::DateLine));
            }
            it.hasNumber = day != NoDay;
            it.number = day;
            break;
        }
        }
    }

    // The entries are sorted as numbers: their place (".." first, then folders, then groups
    // before or after the rest), their key (a size, a day, the rank of a type or of a path among
    // the list's few; by name none: the caption decides), and their caption's first sixteen
    // bytes and length. Only entries left tied by those are compared in full, and every one when
    // some dates convert and others do not. A search's millions of hits are then sorted reading
    // the numbers one after another, where comparing every pair in full jumped to two entries
    // and their texts at every step.
    struct Keyed {
        quint64 key;
        quint64 caption[2];
        quint32 index;
        quint16 captionSize; // up to CaptionBytes + 1: the caption is longer than its key
        quint8 place;
    };
    constexpr qsizetype CaptionBytes = 16;
    // A date that does not convert compares equal to every other: days are a key when every
    // date converts, and none is needed when none does.
    const auto days =
        std::count_if(items.begin(), items.end(), [](const ExplorerSortItem &it) { return it.hasNumber; });
    const bool noDays = key == ExplorerColumn::Date && days == 0;
    const bool exactKey = key != ExplorerColumn::Date || noDays || size_t(days) == n;
    std::vector<Keyed> keyed(n);
    for (size_t i = 0; i < n; ++i) {
        const ExplorerSortItem &it = items[i];
        const quint8 place = it.isUp ? 0 : it.isFolder ? 1 : it.isGroup ? (ascending ? 2 : 4) : 3;
        const QByteArrayView c = it.caption;
        // The key stays 0 by Name, and by Date when no date converts.
        keyed[i] = {0,
                    {NoCasePrefix(c), NoCasePrefix(c.size() > 8 ? c.sliced(8) : QByteArrayView())},
                    static_cast<quint32>(i),
                    static_cast<quint16>(std::min(c.size(), CaptionBytes + 1)),
                    place};
    }
    if (key == ExplorerColumn::Type || key == ExplorerColumn::Path) {
        // The few types, or places, ranked once; every entry takes the rank of its text. A
        // search's hits know their place already; other entries are told apart by their text.
        std::vector<QByteArrayView> texts(placeTexts.begin(), placeTexts.end());
        if (!placeOfHit.empty()) {
            for (size_t i = 0; i < n; ++i)
                keyed[i].key = placeOfHit[m_hits->storedAt(m_rows[i].index)];
        } else {
            QHash<QByteArrayView, quint32> ids;
            for (size_t i = 0; i < n; ++i) {
                auto at = ids.constFind(items[i].text);
                if (at == ids.constEnd()) {
                    at = ids.insert(items[i].text, static_cast<quint32>(texts.size()));
                    texts.push_back(items[i].text);
                }
                keyed[i].key = *at;
            }
        }
        std::vector<quint32> byText(texts.size());
        std::iota(byText.begin(), byText.end(), 0u);
        std::sort(byText.begin(), byText.end(),
                  [&](quint32 a, quint32 b) { return CompareNoCase(texts[a], texts[b]) < 0; });
        std::vector<quint64> rank(texts.size());
        for (size_t k = 1; k < byText.size(); ++k)
            rank[byText[k]] = rank[byText[k - 1]] + (CompareNoCase(texts[byText[k - 1]], texts[byText[k]]) < 0);
        for (Keyed &k : keyed)
            k.key = rank[k.key];
    } else if (key != ExplorerColumn::Name && exactKey && !noDays) {
        for (size_t i = 0; i < n; ++i)
            keyed[i].key = static_cast<quint64>(items[i].number) ^ (quint64(1) << 63);
    }
    // A merge sort stays safe even though "does not convert" dates compare equal to all.
    std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed &a, const Keyed &b) {
        if (a.place != b.place)
            return a.place < b.place;
        if (a.key != b.key)
            return ascending ? a.key < b.key : a.key > b.key;
        if (exactKey) {
            for (int k = 0; k < 2; ++k)
                if (a.caption[k] != b.caption[k])
                    return ascending ? a.caption[k] < b.caption[k] : a.caption[k] > b.caption[k];
            // The same caption, whole within its key: equal, and a stable sort keeps their order.
            if (a.captionSize == b.captionSize && a.captionSize <= CaptionBytes)
                return false;
        }
        return ExplorerCompare(items[a.index], items[b.index], key, ascending) < 0;
    });
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = keyed[i].index;
    std::vector<Keyed>().swap(keyed);
    std::vector<Row> sorted;
    sorted.reserve(n);
    std::vector<int> result;
    result.reserve(n);
    for (size_t i : order) {
        sorted.push_back(m_rows[i]);
        result.push_back(static_cast<int>(i));
    }
    m_rows.swap(sorted);
    return result;
}
