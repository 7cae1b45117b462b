// The help viewer window: a text browser over the topics of one compiled help file.

#include "help/help_viewer.h"

#include "help/chm_file.h"
#include "help/helpsys_funcs.h"
#include "platform/text_fit.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <memory>

namespace help {

namespace {

// Topics are addressed as chm:/<object path>, so relative links between topics resolve
// against the current topic like file paths do.
const QString topic_scheme = QStringLiteral("chm");

QUrl topic_url(const QString& object_path)
{
    QUrl url;
    url.setScheme(topic_scheme);
    url.setPath(object_path);
    return url;
}

// Splits a viewer path "file::/topic>window" (with an optional URL-scheme prefix) into the
// file and the topic; the window definition has no meaning for this viewer.
void split_viewer_path(QString path, QString& file, QString& topic)
{
    for (const QLatin1String prefix : {QLatin1String("ms-its:"), QLatin1String("mk:@MSITStore:")}) {
        if (path.startsWith(prefix, Qt::CaseInsensitive)) {
            path.remove(0, prefix.size());
            break;
        }
    }
    const qsizetype window_mark = path.lastIndexOf(QLatin1Char('>'));
    if (window_mark >= 0)
        path.truncate(window_mark);
    const qsizetype topic_mark = path.indexOf(QStringLiteral("::"));
    if (topic_mark >= 0) {
        topic = path.mid(topic_mark + 2);
        path.truncate(topic_mark);
    }
    file = path.trimmed();
}

class ChmBrowser : public QTextBrowser {
public:
    explicit ChmBrowser(QWidget* parent) : QTextBrowser(parent) {}

    void set_file(std::shared_ptr<ChmFile> file) { file_ = std::move(file); }
    const std::shared_ptr<ChmFile>& file() const { return file_; }

    QVariant loadResource(int type, const QUrl& name) override
    {
        const QUrl url = name.isRelative() ? source().resolved(name) : name;
        if (url.scheme() != topic_scheme)
            return QTextBrowser::loadResource(type, url);
        if (!file_)
            return {};
        const std::optional<QByteArray> bytes = file_->read(url.path());
        if (!bytes)
            return {};
        return *bytes;
    }

private:
    std::shared_ptr<ChmFile> file_;
};

class HelpViewer : public QWidget {
public:
    HelpViewer()
    {
        setObjectName(QStringLiteral("help_viewer"));
        setAttribute(Qt::WA_DeleteOnClose);
        resize(720, 540);

        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        auto* tools = new QToolBar(this);
        browser_ = new ChmBrowser(this);
        browser_->setObjectName(QStringLiteral("help_browser"));
        // Links are followed here so that links leaving the help file go to the desktop.
        browser_->setOpenLinks(false);
        layout->addWidget(tools);
        layout->addWidget(browser_);

        QAction* back = tools->addAction(QStringLiteral("Back"), browser_, &QTextBrowser::backward);
        QAction* forward = tools->addAction(QStringLiteral("Forward"), browser_, &QTextBrowser::forward);
        QAction* contents = tools->addAction(QStringLiteral("Contents"), this, [this] { show_default_topic(); });
        back->setObjectName(QStringLiteral("help_back"));
        forward->setObjectName(QStringLiteral("help_forward"));
        contents->setObjectName(QStringLiteral("help_contents"));
        back->setEnabled(false);
        forward->setEnabled(false);
        connect(browser_, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
        connect(browser_, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
        connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) { follow(link); });
        connect(browser_, &QTextBrowser::sourceChanged, this, [this] { update_title(); });
        platform::fit_text(this);
    }

    // Opens the file unless it is the one shown already; a file that can't be opened leaves
    // a page saying so.
    bool open_file(const QString& path)
    {
        const QString absolute = QFileInfo(path).absoluteFilePath();
        if (browser_->file() && browser_->file()->path() == absolute)
            return true;
        auto file = std::make_shared<ChmFile>(absolute);
        browser_->clearHistory();
        if (!file->is_open()) {
            browser_->set_file(nullptr);
            browser_->setHtml(QStringLiteral("<html><head><title>Help</title></head><body><p>The help file "
                                             "\"%1\" could not be opened.</p></body></html>")
                                  .arg(absolute.toHtmlEscaped()));
            update_title();
            return false;
        }
        browser_->set_file(std::move(file));
        return true;
    }

    void show_context(int context_id)
    {
        const std::shared_ptr<ChmFile>& file = browser_->file();
        if (!file)
            return;
        const QString topic = file->topic_for_context(context_id);
        if (topic.isEmpty())
            show_default_topic();
        else
            browser_->setSource(topic_url(topic));
    }

    void show_topic(const QString& topic)
    {
        const std::shared_ptr<ChmFile>& file = browser_->file();
        if (!file)
            return;
        QString path = topic;
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (!path.startsWith(QLatin1Char('/')))
            path.prepend(QLatin1Char('/'));
        if (file->contains(path))
            browser_->setSource(topic_url(path));
        else
            show_default_topic();
    }

private:
    void show_default_topic()
    {
        const std::shared_ptr<ChmFile>& file = browser_->file();
        if (!file)
            return;
        if (file->default_topic().isEmpty()) {
            browser_->setHtml(QStringLiteral("<html><body><p>This help file has no contents page.</p></body></html>"));
            update_title();
            return;
        }
        browser_->setSource(topic_url(file->default_topic()));
    }

    void follow(const QUrl& link)
    {
        const QUrl url = link.isRelative() ? browser_->source().resolved(link) : link;
        if (url.scheme() == topic_scheme)
            browser_->setSource(url);
        else if (!url.isRelative())
            QDesktopServices::openUrl(url);
    }

    void update_title()
    {
        const std::shared_ptr<ChmFile>& file = browser_->file();
        QString title = file && !file->title().isEmpty() ? file->title() : QStringLiteral("Help");
        const QString topic_title = browser_->documentTitle();
        if (!topic_title.isEmpty() && topic_title != title)
            title += QStringLiteral(" - ") + topic_title;
        setWindowTitle(title);
    }

    ChmBrowser* browser_ = nullptr;
};

// The viewer window lives on by itself, like a viewer of the platform: nobody owns it, the
// user closes it (it then deletes itself) or it goes when the application does.
QPointer<HelpViewer> viewer;
bool cleanup_registered = false;

void delete_viewer()
{
    delete viewer.data();
    cleanup_registered = false;
}

}  // namespace

QWidget* html_help(const QString& path, int command, int data)
{
    if (command != HH_HELP_CONTEXT || qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return nullptr;

    QString file;
    QString topic;
    split_viewer_path(path, file, topic);
    if (file.isEmpty())
        return nullptr;
    file = help_file_path(file);

    if (viewer.isNull()) {
        viewer = new HelpViewer;
        if (!cleanup_registered) {
            // Runs while the QApplication is still alive, before its widgets are torn down.
            qAddPostRoutine(delete_viewer);
            cleanup_registered = true;
        }
    }
    if (viewer->open_file(file)) {
        if (topic.isEmpty())
            viewer->show_context(data);
        else
            viewer->show_topic(topic);
    }
    // A modal dialog blocks every window that isn't its own; a viewer opened from its "&Help"
    // button must stay usable, so it is shown as a window belonging to that dialog (without
    // the dialog owning it: the viewer outlives the dialog).
    viewer->winId();
    QWidget* modal = QApplication::activeModalWidget();
    viewer->windowHandle()->setTransientParent(modal != nullptr && modal != viewer ? modal->window()->windowHandle()
                                                                                    : nullptr);
    viewer->show();
    return viewer;
}

void bring_to_front(QWidget* window)
{
    if (window == nullptr)
        return;
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
}

QWidget* help_viewer_window()
{
    return viewer.data();
}

}  // namespace help
