#pragma once
// Read access to a compiled HTML help file: its topics, its default topic and the map from
// numeric context ids to topics, through chmlib.

#include <QByteArray>
#include <QMap>
#include <QString>

#include <memory>
#include <optional>

struct chmFile;

namespace help {

class ChmFile {
public:
    // Opens the file; is_open() tells whether that worked.
    explicit ChmFile(const QString& path);
    ~ChmFile();
    ChmFile(const ChmFile&) = delete;
    ChmFile& operator=(const ChmFile&) = delete;

    bool is_open() const { return handle_ != nullptr; }
    const QString& path() const { return path_; }

    // The bytes of an object inside the file, addressed by an absolute path ("/topics/a.htm");
    // nothing when the file has no such object.
    std::optional<QByteArray> read(const QString& object_path) const;

    // The topic shown when the file is opened without a topic, as an absolute object path;
    // empty when the file names none that exists.
    QString default_topic() const { return default_topic_; }
    // The file's title from its project; may be empty.
    QString title() const { return title_; }

    // The topic mapped to a context id, as an absolute object path; empty when the id is not
    // mapped to an object that exists in the file.
    QString topic_for_context(int context_id) const;
    // Every mapped context id with its topic (only topics that exist in the file).
    const QMap<int, QString>& context_map() const { return context_map_; }

    // Whether the file holds an object at that absolute path.
    bool contains(const QString& object_path) const;

private:
    void read_system_file();
    void read_context_map();
    QString resolve_topic(const QString& stored) const;

    QString path_;
    ::chmFile* handle_ = nullptr;
    QString default_topic_;
    QString title_;
    QMap<int, QString> context_map_;
};

}  // namespace help
