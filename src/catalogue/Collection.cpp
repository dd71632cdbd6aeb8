#include "Collection.h"

#include "support/Funky.h"
#include "support/SafeFile.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace bw {
namespace {

// "BWSa" in the database header: tells a collection from any other SQLite file.
constexpr int kApplicationId = 0x42575361;
// Entries are asked of the filler and written in blocks of this many.
constexpr std::int32_t kSaveBlock = 4096;

const char* const kSchema[] = {
    "CREATE TABLE collection(format INTEGER NOT NULL, directory BLOB NOT NULL, types TEXT NOT NULL, "
    "saved TEXT NOT NULL, background INTEGER NOT NULL, entries INTEGER NOT NULL)",
    "CREATE TABLE entries(nr INTEGER PRIMARY KEY, path BLOB NOT NULL, icon INTEGER NOT NULL, size INTEGER NOT NULL, "
    "mtime INTEGER NOT NULL, kind INTEGER NOT NULL, loaded INTEGER NOT NULL, largest_width INTEGER NOT NULL, "
    "largest_height INTEGER NOT NULL)",
    // Apart from the entries, so that opening reads the paths without passing the pictures.
    "CREATE TABLE pictures(nr INTEGER PRIMARY KEY, picture BLOB NOT NULL)",
    "CREATE TABLE directories(path BLOB NOT NULL, mtime INTEGER NOT NULL)",
    // The entries' paths and icon numbers once more, packed in blocks (see packBlock): opening
    // reads a few hundred rows instead of a row per entry.
    "CREATE TABLE catalogue(block INTEGER PRIMARY KEY, data BLOB NOT NULL)",
    "CREATE TABLE roots(path BLOB NOT NULL)",
};

// The read's roots as saved: files from a read of one directory, and those written before the
// roots had a table, have that directory alone.
std::vector<std::string> rootsOf(const CollectionInfo& info)
{
    if (!info.roots.empty())
        return info.roots;
    if (info.directory.empty())
        return {};
    return {withTrailingSlash(info.directory)};
}

// Marks an entry whose path is that of the entry before it (the next icon of one file).
constexpr std::uint32_t kSamePath = 0xFFFFFFFFu;

// Entries first..last as the catalogue table keeps them: for each, its icon number (2 bytes) and
// its path's length (4 bytes, little-endian) followed by the path, or kSamePath.
QByteArray packBlock(const Catalogue& catalogue, std::int32_t first, std::int32_t last)
{
    QByteArray out;
    const auto put = [&out](std::uint32_t value, int bytes) {
        for (int k = 0; k < bytes; ++k)
            out.append(static_cast<char>(value >> (8 * k)));
    };
    for (std::int32_t n = first; n <= last; ++n) {
        const IconEntry& e = catalogue[n];
        put(e.iconIndex, 2);
        if (n > first && catalogue[n - 1].path() == e.path()) {
            put(kSamePath, 4);
            continue;
        }
        put(e.pathLength, 4);
        out.append(e.pathData, static_cast<qsizetype>(e.pathLength));
    }
    return out;
}

// Appends a packed block's entries; false when its bytes do not hold whole entries.
bool unpackBlock(const QByteArray& data, Catalogue& catalogue)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(data.constData());
    const std::size_t size = static_cast<std::size_t>(data.size());
    std::size_t at = 0;
    std::string_view previous;
    while (at < size) {
        if (size - at < 6 || catalogue.isFull())
            return false;
        const auto icon = static_cast<std::uint16_t>(p[at] | p[at + 1] << 8);
        const std::uint32_t length = p[at + 2] | p[at + 3] << 8 | p[at + 4] << 16 | static_cast<std::uint32_t>(p[at + 5]) << 24;
        at += 6;
        if (length == kSamePath) {
            if (previous.data() == nullptr)
                return false;
        } else {
            if (length > size - at)
                return false;
            previous = std::string_view(data.constData() + at, length);
            at += length;
        }
        catalogue.appendEntry(previous, icon);
    }
    return true;
}

QString connectionName()
{
    static std::atomic<int> next {0};
    return QStringLiteral("bildwiesel-collection-%1").arg(next++);
}

QString displayName(const std::filesystem::path& path) { return QString::fromLocal8Bit(path.native().c_str()); }

// A path SQLite opens whatever bytes the real one has: Qt would pass the name through text.
QString viaDescriptor(int fd, const std::string& name = {})
{
    QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
    if (!name.empty())
        path += QLatin1Char('/') + QString::fromLatin1(name.c_str());
    return path;
}

// The connection of one save or open, removed from Qt's list when the holder goes.
class Connection {
public:
    explicit Connection(const QString& name) : m_name(name) {}
    ~Connection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            if (db.isValid())
                db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

private:
    QString m_name;
};

bool execAll(QSqlDatabase& db, std::initializer_list<const char*> statements)
{
    QSqlQuery query(db);
    for (const char* s : statements)
        if (!query.exec(QString::fromLatin1(s)))
            return false;
    return true;
}

QString saveFailure(const std::filesystem::path& target, const QString& why)
{
    return QStringLiteral("Die Sammlung %1 konnte nicht gespeichert werden: %2").arg(displayName(target), why);
}

bool writeTables(QSqlDatabase& db, const CollectionInfo& info, const Catalogue& catalogue,
                 const std::vector<CollectionDirectory>& directories, const CollectionFiller& fill, QString& why)
{
    // The file has no name until it is complete: a journal would guard nothing.
    if (!execAll(db, {"PRAGMA journal_mode=OFF", "PRAGMA synchronous=OFF", "PRAGMA locking_mode=EXCLUSIVE"}))
        return false;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA application_id=%1").arg(kApplicationId))
        || !query.exec(QStringLiteral("PRAGMA user_version=%1").arg(kCollectionFormat)))
        return false;
    const auto failed = [&why](const QSqlQuery& q) {
        why = q.lastError().text();
        return false;
    };
    if (!db.transaction())
        return false;
    for (const char* statement : kSchema)
        if (!query.exec(QString::fromLatin1(statement)))
            return failed(query);
    query.prepare(QStringLiteral("INSERT INTO collection VALUES(?,?,?,?,?,?)"));
    query.addBindValue(kCollectionFormat);
    query.addBindValue(QByteArray(info.directory.data(), static_cast<qsizetype>(info.directory.size())));
    query.addBindValue(info.types.isNull() ? QStringLiteral("") : info.types);
    query.addBindValue(info.saved.toUTC().toString(Qt::ISODate));
    query.addBindValue(static_cast<qint64>(info.background & 0xFFFFFFu));
    query.addBindValue(catalogue.entryCount());
    if (!query.exec())
        return failed(query);

    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO entries VALUES(?,?,?,?,?,?,?,?,?)"));
    QSqlQuery insertPicture(db);
    insertPicture.prepare(QStringLiteral("INSERT INTO pictures VALUES(?,?)"));
    std::vector<CollectionEntry> block;
    for (std::int32_t first = 1; first <= catalogue.entryCount(); first += kSaveBlock) {
        const std::int32_t last = std::min(catalogue.entryCount(), first + kSaveBlock - 1);
        block.assign(static_cast<std::size_t>(last - first + 1), CollectionEntry {});
        fill(first, last, block);
        for (std::int32_t n = first; n <= last; ++n) {
            const CollectionEntry& e = block[static_cast<std::size_t>(n - first)];
            const std::string_view path = catalogue[n].path();
            insert.bindValue(0, n);
            insert.bindValue(1, QByteArray(path.data(), static_cast<qsizetype>(path.size())));
            insert.bindValue(2, catalogue[n].iconIndex);
            insert.bindValue(3, static_cast<qint64>(e.fileSize));
            insert.bindValue(4, static_cast<qint64>(e.mtimeNs));
            insert.bindValue(5, e.kind);
            insert.bindValue(6, e.loaded ? 1 : 0);
            insert.bindValue(7, e.largestWidth);
            insert.bindValue(8, e.largestHeight);
            if (!insert.exec())
                return failed(insert);
            insertPicture.bindValue(0, n);
            insertPicture.bindValue(1, e.picture.isNull() ? QByteArray("") : e.picture);
            if (!insertPicture.exec())
                return failed(insertPicture);
        }
        query.prepare(QStringLiteral("INSERT INTO catalogue VALUES(?,?)"));
        query.addBindValue(first / kSaveBlock);
        query.addBindValue(packBlock(catalogue, first, last));
        if (!query.exec())
            return failed(query);
    }
    query.prepare(QStringLiteral("INSERT INTO roots VALUES(?)"));
    for (const std::string& root : rootsOf(info)) {
        query.addBindValue(QByteArray(root.data(), static_cast<qsizetype>(root.size())));
        if (!query.exec())
            return failed(query);
    }
    insert.prepare(QStringLiteral("INSERT INTO directories VALUES(?,?)"));
    for (const CollectionDirectory& d : directories) {
        insert.bindValue(0, QByteArray(d.path.data(), static_cast<qsizetype>(d.path.size())));
        insert.bindValue(1, static_cast<qint64>(d.mtimeNs));
        if (!insert.exec())
            return failed(insert);
    }
    if (!db.commit())
        return failed(query);
    return true;
}

} // namespace

std::int64_t fileTimeNs(const std::string& path, std::int64_t* size)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (size)
            *size = -1;
        return -1;
    }
    if (size)
        *size = st.st_size;
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

QString saveCollection(const std::filesystem::path& target, const CollectionInfo& info, const Catalogue& catalogue,
                       const std::vector<CollectionDirectory>& directories, const CollectionFiller& fill, SaveMode mode)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return saveFailure(target, QStringLiteral("Der SQLite-Treiber von Qt fehlt (Paket libqt6sql6-sqlite)."));
    const std::filesystem::path parent = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    const int directory = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0)
        return saveFailure(target, QStringLiteral("Das Verzeichnis ist nicht vorhanden."));
    if (mode == SaveMode::NewOnly && ::faccessat(directory, target.filename().c_str(), F_OK, AT_SYMLINK_NOFOLLOW) == 0) {
        ::close(directory);
        return saveFailure(target, QStringLiteral("Die Datei ist schon vorhanden."));
    }
    // Written under the one writer's hidden temporary name (the database library opens files by
    // name), synced, and only then named; a kill leaves a locked temporary that a later run
    // clears away, never a torn collection under its name.
    NewFile file(parent, NewFile::Kind::Hidden);
    if (!file.isOpen()) {
        ::close(directory);
        return saveFailure(target, QString::fromLocal8Bit(std::strerror(file.error())));
    }
    const std::string temporary = std::filesystem::path(file.temporaryPath()).filename().native();

    bool written = false;
    QString why;
    {
        const QString name = connectionName();
        Connection connection(name);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(viaDescriptor(directory, temporary));
        written = db.open() && writeTables(db, info, catalogue, directories, fill, why);
        if (!written && why.isEmpty())
            why = db.lastError().text();
        db.close();
    }
    if (written && !file.sync()) {
        written = false;
        why = QString::fromLocal8Bit(std::strerror(file.error()));
    }
    if (written) {
        const WriteResult named = mode == SaveMode::Replace ? file.replace(target) : file.publish(target);
        if (named != WriteResult::Ok) {
            written = false;
            why = named == WriteResult::AlreadyExists ? QStringLiteral("Die Datei ist schon vorhanden.")
                                                      : QString::fromLocal8Bit(std::strerror(file.error()));
        } else {
            ::fsync(directory); // the new name is on disk too
        }
    }
    ::close(directory);
    return written ? QString() : saveFailure(target, why);
}

std::unique_ptr<Collection> Collection::open(const std::filesystem::path& path, Catalogue& catalogue, QString& error)
{
    const QString shown = displayName(path);
    const QString notACollection = QStringLiteral("%1 ist keine Bildwiesel-Sammlung.").arg(shown);
    const QString damaged = QStringLiteral("Die Sammlung %1 ist beschädigt und kann nicht geöffnet werden.").arg(shown);
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        error = QStringLiteral("Der SQLite-Treiber von Qt fehlt (Paket libqt6sql6-sqlite).");
        return nullptr;
    }
    std::unique_ptr<Collection> c(new Collection);
    c->m_path = path;
    c->m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (c->m_fd < 0 || ::fstat(c->m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = QStringLiteral("%1 ist nicht mehr vorhanden.").arg(shown);
        return nullptr;
    }
    char header[16] = {};
    if (::pread(c->m_fd, header, sizeof header, 0) != sizeof header || std::memcmp(header, "SQLite format 3", 16) != 0) {
        error = notACollection;
        return nullptr;
    }
    c->m_connection = connectionName();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), c->m_connection);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    db.setDatabaseName(viaDescriptor(c->m_fd));
    if (!db.open()) {
        error = damaged;
        return nullptr;
    }
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA application_id")) || !query.next()) {
        error = damaged;
        return nullptr;
    }
    if (query.value(0).toInt() != kApplicationId) {
        error = notACollection;
        return nullptr;
    }
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        error = damaged;
        return nullptr;
    }
    if (const int format = query.value(0).toInt(); format > kCollectionFormat) {
        error = QStringLiteral("Die Sammlung %1 hat ein neueres Format (%2), als dieses Programm lesen kann (%3).")
                    .arg(shown)
                    .arg(format)
                    .arg(kCollectionFormat);
        return nullptr;
    }
    if (!query.exec(QStringLiteral("SELECT format, directory, types, saved, background, entries FROM collection")) || !query.next()) {
        error = damaged;
        return nullptr;
    }
    const QByteArray directory = query.value(1).toByteArray();
    c->m_info.format = query.value(0).toInt();
    c->m_info.directory.assign(directory.constData(), static_cast<std::size_t>(directory.size()));
    c->m_info.types = query.value(2).toString();
    c->m_info.saved = QDateTime::fromString(query.value(3).toString(), Qt::ISODate);
    c->m_info.background = static_cast<std::uint32_t>(query.value(4).toLongLong()) & 0xFFFFFFu;
    const qint64 entries = query.value(5).toLongLong();
    if (query.exec(QStringLiteral("SELECT path FROM roots ORDER BY rowid")))
        while (query.next()) {
            const QByteArray root = query.value(0).toByteArray();
            c->m_info.roots.emplace_back(root.constData(), static_cast<std::size_t>(root.size()));
        }
    c->m_info.roots = rootsOf(c->m_info);
    if (entries < 0 || entries > catalogue.capacity()) {
        error = entries < 0
            ? damaged
            : QStringLiteral("Die Sammlung %1 hat mehr Einträge, als der Katalog fassen kann (%2).").arg(shown).arg(catalogue.capacity());
        return nullptr;
    }

    // Filled aside, so that a file that breaks off halfway leaves the shown catalogue alone.
    Catalogue filled(catalogue.capacity());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT block, data FROM catalogue ORDER BY block"))) {
        error = damaged;
        return nullptr;
    }
    for (std::int32_t block = 0; query.next(); ++block) {
        if (query.value(0).toInt() != block || !unpackBlock(query.value(1).toByteArray(), filled)) {
            error = damaged;
            return nullptr;
        }
    }
    // The tables of facts and pictures reach the last entry (counting their rows would read the
    // whole file; a row missing within them is found when it is asked for).
    const bool complete = !query.lastError().isValid() && filled.entryCount() == entries
        && query.exec(QStringLiteral("SELECT (SELECT max(nr) FROM entries), (SELECT max(nr) FROM pictures)")) && query.next()
        && query.value(0).toLongLong() == entries && query.value(1).toLongLong() == entries;
    if (!complete) {
        error = damaged;
        return nullptr;
    }
    query.finish();
    c->m_entryCount = filled.entryCount();
    c->m_entryQuery = std::make_unique<QSqlQuery>(db);
    c->m_entryQuery->prepare(QStringLiteral("SELECT size, mtime, kind, loaded, largest_width, largest_height, picture "
                                            "FROM entries JOIN pictures USING(nr) WHERE nr=?"));
    catalogue.swapWith(filled);
    error.clear();
    return c;
}

Collection::~Collection()
{
    m_entryQuery.reset();
    if (!m_connection.isEmpty()) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            if (db.isValid())
                db.close();
        }
        QSqlDatabase::removeDatabase(m_connection);
    }
    if (m_fd >= 0)
        ::close(m_fd);
}

namespace {

void readEntry(const QSqlQuery& q, CollectionEntry& out)
{
    out.fileSize = q.value(0).toLongLong();
    out.mtimeNs = q.value(1).toLongLong();
    out.kind = static_cast<std::uint8_t>(q.value(2).toInt());
    out.loaded = q.value(3).toInt() != 0;
    out.largestWidth = static_cast<std::uint16_t>(q.value(4).toInt());
    out.largestHeight = static_cast<std::uint16_t>(q.value(5).toInt());
    out.picture = q.value(6).toByteArray();
}

} // namespace

bool Collection::entry(std::int32_t n, CollectionEntry& out) const
{
    if (!m_entryQuery || n < 1 || n > m_entryCount)
        return false;
    m_entryQuery->bindValue(0, n);
    if (!m_entryQuery->exec() || !m_entryQuery->next())
        return false;
    readEntry(*m_entryQuery, out);
    m_entryQuery->finish();
    return true;
}

SourceState Collection::sourceState(std::int32_t n, std::string_view path) const
{
    std::int64_t size = -1;
    const std::int64_t time = fileTimeNs(std::string(path), &size);
    if (time < 0)
        return SourceState::Missing;
    CollectionEntry stored;
    if (!entry(n, stored) || stored.fileSize != size || stored.mtimeNs != time)
        return SourceState::Changed;
    return SourceState::Present;
}

std::vector<CollectionDirectory> Collection::directories() const
{
    std::vector<CollectionDirectory> out;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT path, mtime FROM directories")))
        return out;
    while (query.next()) {
        const QByteArray path = query.value(0).toByteArray();
        out.push_back({std::string(path.constData(), static_cast<std::size_t>(path.size())), query.value(1).toLongLong()});
    }
    return out;
}

bool Collection::stamps(const std::function<void(std::int32_t n, std::int64_t size, std::int64_t mtimeNs)>& each) const
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT nr, size, mtime FROM entries ORDER BY nr")))
        return false;
    while (query.next())
        each(query.value(0).toInt(), query.value(1).toLongLong(), query.value(2).toLongLong());
    return !query.lastError().isValid();
}

Collection::Reader::Reader(const Collection& collection) : m_connection(connectionName())
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    db.setDatabaseName(viaDescriptor(collection.m_fd));
    if (!db.open())
        return; // next finds nothing
    m_query = std::make_unique<QSqlQuery>(db);
    m_query->setForwardOnly(true);
    m_query->exec(QStringLiteral("SELECT size, mtime, kind, loaded, largest_width, largest_height, picture, nr "
                                 "FROM entries JOIN pictures USING(nr) ORDER BY nr"));
}

Collection::Reader::~Reader()
{
    m_query.reset();
    Connection remove(m_connection);
}

bool Collection::Reader::next(CollectionEntry& out)
{
    if (!m_query || !m_query->isActive() || !m_query->next() || m_query->value(7).toInt() != m_next)
        return false;
    ++m_next;
    readEntry(*m_query, out);
    return true;
}

} // namespace bw
