// Reads topics, the default topic and the context map out of a compiled help file.

#include "help/chm_file.h"

#include <QFile>

#include <chm_lib.h>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace help {

namespace {

// Internal objects of a compiled help file: the project settings, the context-id table and
// the string pool its entries point into.
constexpr const char* system_object = "/#SYSTEM";
constexpr const char* context_table_object = "/#IVB";
constexpr const char* strings_object = "/#STRINGS";

// Settings records of the project settings object.
constexpr int system_default_topic = 2;
constexpr int system_title = 3;

// No object of a help file we read comes near this; a corrupt length must not make us
// allocate gigabytes.
constexpr LONGUINT64 max_object_size = 64u * 1024u * 1024u;

std::uint32_t read_le32(const QByteArray& bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
    return byte(0) | (byte(1) << 8) | (byte(2) << 16) | (byte(3) << 24);
}

std::uint32_t read_le16(const QByteArray& bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
    return byte(0) | (byte(1) << 8);
}

// A zero-terminated string inside a byte block (the whole rest when unterminated).
QByteArray string_at(const QByteArray& bytes, qsizetype at)
{
    if (at < 0 || at >= bytes.size())
        return {};
    qsizetype end = bytes.indexOf('\0', at);
    if (end < 0)
        end = bytes.size();
    return bytes.mid(at, end - at);
}

QString absolute_object_path(QByteArray path)
{
    path.replace('\\', '/');
    QString text = QString::fromUtf8(path).trimmed();
    if (!text.startsWith(QLatin1Char('/')))
        text.prepend(QLatin1Char('/'));
    return text;
}

}  // namespace

ChmFile::ChmFile(const QString& path) : path_(path)
{
    handle_ = chm_open(QFile::encodeName(path).constData());
    if (handle_ == nullptr)
        return;
    read_system_file();
    read_context_map();
}

ChmFile::~ChmFile()
{
    if (handle_ != nullptr)
        chm_close(handle_);
}

std::optional<QByteArray> ChmFile::read(const QString& object_path) const
{
    if (handle_ == nullptr)
        return std::nullopt;
    chmUnitInfo unit{};
    const QByteArray name = object_path.toUtf8();
    if (chm_resolve_object(handle_, name.constData(), &unit) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    if (unit.length > max_object_size)
        return std::nullopt;
    QByteArray bytes(static_cast<qsizetype>(unit.length), Qt::Uninitialized);
    if (unit.length == 0)
        return bytes;
    const LONGINT64 got = chm_retrieve_object(handle_, &unit, reinterpret_cast<unsigned char*>(bytes.data()), 0,
                                              static_cast<LONGINT64>(unit.length));
    // A short read means a damaged file; a topic cut off somewhere is not passed on.
    if (got != static_cast<LONGINT64>(unit.length))
        return std::nullopt;
    return bytes;
}

void ChmFile::read_system_file()
{
    const std::optional<QByteArray> system = read(QString::fromLatin1(system_object));
    if (!system)
        return;
    // A version word, then records of (code, length, data).
    qsizetype at = 4;
    while (at + 4 <= system->size()) {
        const auto code = static_cast<int>(read_le16(*system, at));
        const auto length = static_cast<qsizetype>(read_le16(*system, at + 2));
        at += 4;
        if (at + length > system->size())
            break;
        const QByteArray data = string_at(system->left(at + length), at);
        if (code == system_default_topic && !data.isEmpty())
            default_topic_ = resolve_topic(absolute_object_path(data));
        else if (code == system_title)
            title_ = QString::fromUtf8(data);
        at += length;
    }
}

void ChmFile::read_context_map()
{
    const std::optional<QByteArray> table = read(QString::fromLatin1(context_table_object));
    const std::optional<QByteArray> strings = read(QString::fromLatin1(strings_object));
    if (!table || !strings || table->size() < 4)
        return;
    // A byte count, then pairs of (context id, offset of the topic name in the string pool).
    const qsizetype declared = static_cast<qsizetype>(read_le32(*table, 0));
    const qsizetype end = std::min(table->size(), 4 + declared);
    for (qsizetype at = 4; at + 8 <= end; at += 8) {
        const auto id = static_cast<int>(read_le32(*table, at));
        const auto offset = read_le32(*table, at + 4);
        if (offset > static_cast<std::uint32_t>(std::numeric_limits<int>::max()))
            continue;
        const QByteArray name = string_at(*strings, static_cast<qsizetype>(offset));
        if (name.isEmpty())
            continue;
        const QString topic = resolve_topic(absolute_object_path(name));
        if (!topic.isEmpty())
            context_map_.insert(id, topic);
    }
}

QString ChmFile::topic_for_context(int context_id) const
{
    return context_map_.value(context_id);
}

QString ChmFile::resolve_topic(const QString& stored) const
{
    // Some compilers store the topic as the path of its source file on the build machine
    // ("/home/.../topics/a.htm"); the object inside the file is a tail of that path.
    QString candidate = stored;
    while (!candidate.isEmpty()) {
        if (contains(candidate))
            return candidate;
        const qsizetype next = candidate.indexOf(QLatin1Char('/'), 1);
        if (next < 0)
            break;
        candidate = candidate.mid(next);
    }
    return {};
}

bool ChmFile::contains(const QString& object_path) const
{
    if (handle_ == nullptr)
        return false;
    chmUnitInfo unit{};
    return chm_resolve_object(handle_, object_path.toUtf8().constData(), &unit) == CHM_RESOLVE_SUCCESS;
}

}  // namespace help
