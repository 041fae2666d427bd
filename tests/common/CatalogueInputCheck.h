#pragma once

// What the catalogue fuzzer asks of every input, and the corpus test of every input it kept:
// the bytes read as "groups.tree" by the loader the program uses, as a contents list by its
// parser, both whole and as a decompressor hands them over in pieces, as the names the search
// makes of a file list, and as a checksum member. Bad bytes may end only in QuilloryError; what
// was read must read the same again.
#include "core/QuilloryError.h"
#include "search/DiscNames.h"
#include "store/ContentsChecksums.h"
#include "store/ContentsList.h"
#include "store/ContentsRecord.h"
#include "store/GroupTree.h"
#include "store/TreeFile.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <algorithm>
#include <optional>
#include <vector>

namespace CatalogueInputCheck
{

inline bool writeFile(const QString &path, QByteArrayView bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes.data(), bytes.size()) == bytes.size();
}

// The bytes as "groups.tree" in folder (which ends in "/"): loaded with every other disc
// lacking its contents file (the older format is upgraded in place), saved, and loaded again.
inline QString checkTree(QByteArrayView bytes, const QString &folder)
{
    const QString file = folder + QLatin1String(TreeFileName);
    if (!writeFile(file, bytes))
        return QStringLiteral("cannot write %1").arg(file);
    const auto everyOther = [asked = 0](const QString &) mutable { return asked++ % 2 == 0; };
    const auto all = [](const QString &) { return true; };
    GroupTree tree;
    try {
        LoadTreeFile(tree, file, everyOther, {}, TreeWrite::Allowed);
    } catch (const QuilloryError &) {
        return QString();
    }
    const QStringList lines = TreeToLines(tree);
    try {
        SaveTree(tree, folder);
        GroupTree again;
        LoadTreeFile(again, file, all, {}, TreeWrite::Never);
        if (TreeToLines(again) != lines)
            return QStringLiteral("the saved tree reads back differently");
    } catch (const QuilloryError &e) {
        return QStringLiteral("the saved tree does not load: %1").arg(e.message());
    }
    return QString();
}

// The bytes parsed as a contents list; nothing when the parser refuses them, as it may.
inline std::optional<ContentsList> parsedList(const QByteArray &bytes)
{
    try {
        return ContentsList::fromBytes(bytes);
    } catch (const QuilloryError &) {
        return std::nullopt;
    }
}

// The bytes as a contents list: parsed whole and in pieces of a size the input picks, which
// must agree record by record; every record is found again under its folder.
inline QString checkList(QByteArrayView input)
{
    const QByteArray bytes = input.toByteArray();
    const std::optional<ContentsList> parsed = parsedList(bytes);
    if (!parsed)
        return QString();
    const ContentsList &whole = *parsed;
    QByteArray arriving;
    arriving.reserve(bytes.size());
    const qsizetype step = bytes.isEmpty() ? 1 : 1 + static_cast<uchar>(bytes.back()) % 61;
    ContentsList pieced;
    try {
        ContentsList::Builder builder(arriving.constData(), bytes.size());
        for (qsizetype at = 0; at < bytes.size(); at += step) {
            arriving.append(bytes.sliced(at, std::min(step, bytes.size() - at)));
            builder.advance(arriving.size());
        }
        pieced = builder.finish(arriving);
    } catch (const QuilloryError &) {
        return QStringLiteral("refused in pieces, read whole");
    }
    if (pieced.recordCount() != whole.recordCount())
        return QStringLiteral("%1 records in pieces, %2 whole").arg(pieced.recordCount()).arg(whole.recordCount());
    const int checked = std::min(whole.recordCount(), 2000);
    for (int r = 0; r < checked; ++r) {
        const QStringList lines = whole.lines(r);
        if (pieced.lines(r) != lines)
            return QStringLiteral("record %1 differs in pieces").arg(r);
        (void)whole.isArchive(r);
        (void)whole.folderInArchive(r);
        (void)whole.folderName(r);
        if (lines.size() <= ContentsRecord::FolderLine)
            continue;
        const QString folder = lines.at(ContentsRecord::FolderLine);
        for (const Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
            const auto in = whole.recordsIn(folder, cs);
            if (std::find(in.begin(), in.end(), r) == in.end())
                return QStringLiteral("record %1 is not found under its folder").arg(r);
        }
        (void)ContentsList::findFolder(whole, pieced, folder);
    }
    return QString();
}

// The bytes as a file list: the names, sizes and dates the search makes of it in one pass over
// the bytes (as it unpacks) must be those made from the parsed list, record by record.
inline QString checkNames(QByteArrayView input)
{
    const QByteArray bytes = input.toByteArray();
    const std::optional<ContentsList> files = parsedList(bytes);
    if (!files)
        return QString();
    const auto built = DiscNames::build(ContentsList(), *files, {});
    const auto scanned = DiscNames::scan(QByteArray(), bytes, {});
    const DiscNames::Section &a = built->files(), &b = scanned->files();
    if (a.count != b.count || a.badSize != b.badSize)
        return QStringLiteral("scanned: %1 records (%2 sized), parsed: %3 (%4)")
            .arg(b.count)
            .arg(b.badSize)
            .arg(a.count)
            .arg(a.badSize);
    for (int r = 0; r < std::min(a.count, 2000); ++r) {
        if (a.name(r) != b.name(r) || built->date(a.dateIds[r]) != scanned->date(b.dateIds[r]) ||
            (r < a.badSize && a.sizes[r] != b.sizes[r]))
            return QStringLiteral("record %1 is scanned otherwise than parsed").arg(r);
    }
    return QString();
}

// The bytes as a checksum member, for file lists of about as many records as it has lines:
// read whole or refused, never taken in part.
inline QString checkSums(QByteArrayView input)
{
    const QByteArray bytes = input.toByteArray();
    const int lines = static_cast<int>(std::min<qsizetype>(bytes.count('\n'), 1 << 20));
    for (const int records : {lines, lines + 1}) {
        QString problem;
        const ContentsChecksums sums = ContentsChecksums::parse(bytes, records, &problem);
        if (!sums.isEmpty() && (sums.size() != records || !problem.isEmpty()))
            return QStringLiteral("checksums for %1 records taken despite \"%2\"").arg(records).arg(problem);
        for (int r = 0; r < sums.size(); ++r)
            if (sums.has(r) != (sums.hex(r).size() == ContentsChecksums::HexDigits) ||
                (sums.has(r) && ContentsChecksums::toHex(sums.value(r)) != sums.hex(r)))
                return QStringLiteral("checksum %1 reads otherwise than it is written").arg(r);
    }
    return QString();
}

// Empty when the input passed, else what went wrong.
inline QString check(QByteArrayView bytes, const QString &folder)
{
    for (const QString &problem : {checkTree(bytes, folder), checkList(bytes), checkNames(bytes), checkSums(bytes)})
        if (!problem.isEmpty())
            return problem;
    return QString();
}

} // namespace CatalogueInputCheck
