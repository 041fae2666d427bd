#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <memory>

class ContentsList;

// What the search needs of one disc to decide its hits, without the disc's lists: for its
// folders and its files, in list order, the names (a-z folded), the sizes and the dates (each
// distinct date text once), and where the first size that does not parse stands. Made from the
// parsed lists, saved as one file of the name index and mapped back from it as it is.
class DiscNames
{
public:
    // Which contents file the names were made from: a file written again (a new scan, an
    // import) differs in at least one of these, being a new file in DB under the same name.
    struct Stamp {
        qint64 size = -1;
        qint64 modifiedNs = 0;
        qint64 inode = 0;
        bool operator==(const Stamp &) const = default;
        // Of the file as it is now; size -1 when it cannot be read.
        static Stamp of(const QString &path);
    };

    // Sizes take four bytes each; the rare size that does not fit (4 GiB and over, or below
    // zero) is kept aside with its record number. Read as an array of qint64.
    struct Sizes {
        static constexpr quint32 Aside = 0xFFFFFFFFu;
        const quint32 *low = nullptr;
        const qint32 *asideAt = nullptr; // record numbers, ascending
        const qint64 *aside = nullptr;
        int asideCount = 0;
        qint64 operator[](int i) const
        {
            const quint32 v = low[i];
            return v != Aside ? qint64(v) : asideOf(i);
        }
        qint64 asideOf(int i) const;
    };
    // Date ids take two bytes while a list's ids fit them (nearly always), four otherwise.
    struct DateIds {
        const void *ids = nullptr;
        bool wide = false;
        quint32 operator[](int i) const
        {
            return wide ? static_cast<const quint32 *>(ids)[i] : static_cast<const quint16 *>(ids)[i];
        }
    };

    struct Section {
        int count = 0;
        // Record number of the first record whose size is not a number; count when none.
        int badSize = 0;
        const char *names = nullptr; // every name followed by "\n"
        qint64 namesLength = 0;
        const quint32 *nameStart = nullptr; // count + 1 offsets into names
        Sizes sizes;
        DateIds dateIds;

        QByteArrayView name(int i) const;
        // The record whose name holds byte offset pos of names.
        int recordAt(qint64 pos) const;
    };

    // From the parsed lists: the reference every other way must agree with.
    static std::shared_ptr<const DiscNames> build(const ContentsList &folders, const ContentsList &files,
                                                  const Stamp &stamp);
    // Straight from the lists' bytes as stored, in one pass that keeps pace with unpacking: a
    // search with nothing cached pays little more than the unpacking for making the index.
    // Records are told apart by RecordScanner, the same reader ContentsList uses.
    static std::shared_ptr<const DiscNames> scan(const QByteArray &folderList, const QByteArray &fileList,
                                                 const Stamp &stamp);
    // The same scan while the lists unpack (ContentsFile::read's arrival): feed() on the
    // unpacking thread after every block, finish() with the lists read. A large list is scanned
    // on a second thread, which keeps pace with the unpacking and touches each byte while it is
    // still in the cache.
    class Scan
    {
    public:
        Scan();
        ~Scan();
        Scan(const Scan &) = delete;
        Scan &operator=(const Scan &) = delete;
        void feed(int list, const char *data, qsizetype available, qsizetype size);
        std::shared_ptr<const DiscNames> finish(const QByteArray &folderList, const QByteArray &fileList,
                                                const Stamp &stamp);

    private:
        struct State;
        std::unique_ptr<State> m;
    };
    // Maps a saved file; null when it is not one, or is damaged.
    static std::shared_ptr<const DiscNames> map(const QString &path);
    // Writes the file whole (partial name, then rename); false when it cannot.
    bool save(const QString &path) const;
    // What a search or comparison says of a disc whose lists hold a size that is no number: it
    // reads the disc only up to that record, and the answer is not whole.
    static QString badSizeMessage(const QString &title);
    // How the name of a file save() is still writing ends.
    static constexpr QLatin1StringView PartialEnd{".part"};
    // Whether fileName is what a save() cut short left: a partial file of a process that is gone.
    static bool isLeftOver(const QString &fileName);

    ~DiscNames();

    const Section &folders() const { return m_folders; }
    const Section &files() const { return m_files; }
    int dateCount() const { return m_dateCount; }
    QByteArrayView date(quint32 id) const;
    Stamp stamp() const { return m_stamp; }
    qint64 byteSize() const { return m_size; }

private:
    DiscNames() = default;
    struct Owned;
    static std::shared_ptr<const DiscNames> own(std::unique_ptr<Owned> owned, const Stamp &stamp);
    bool attach(const uchar *data, qint64 size);

    std::unique_ptr<Owned> m_owned;
    // The saved file's mapping, held without its descriptor: a search over thousands of discs
    // keeps them all mapped, and one descriptor each would exhaust the process's limit.
    void *m_mapping = nullptr;
    const uchar *m_data = nullptr;
    qint64 m_size = 0;
    Section m_folders;
    Section m_files;
    int m_dateCount = 0;
    const quint32 *m_dateStart = nullptr;
    const char *m_dates = nullptr;
    qint64 m_datesLength = 0;
    Stamp m_stamp;
};
