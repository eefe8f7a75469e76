#include "preview/previewmodule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QTimer>
#include <QWidget>

#include <dlfcn.h>

#ifndef ONDREL_PREVIEW_MODULE
#define ONDREL_PREVIEW_MODULE ""
#endif

const QString PreviewModule::kFileName = QStringLiteral("ondrel-apercu.so");

QT_BEGIN_NAMESPACE
// Exported by Qt GUI outside its public headers; the web engine's own start-up uses it too.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);
QT_END_NAMESPACE

namespace {

PreviewModule *sharedModule = nullptr;

/**
 * The OpenGL context the web engine shares with the application, made before its
 * libraries load: they make it themselves only when loaded before the
 * application exists, which would cost every start of the window (a context
 * takes longer than the rest of Qt's start-up under a software renderer), and
 * warn when they find none. A context that could not be made is given all the
 * same, as Qt's own start-up does: the engine then draws without the GPU, while
 * with none at all it crashes at its first page (no OpenGL: a display without
 * GLX, or none).
 */
void makeShareContext()
{
    if (QOpenGLContext::globalShareContext() || !qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return;
    auto *context = new QOpenGLContext;
    context->setFormat(QSurfaceFormat::defaultFormat());
    context->create();
    qt_gl_set_global_share_context(context); // kept for the life of the process
}

/** The folder of the file that holds this code: the window module, or the program it is linked into. */
QString codeFolder()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void *>(&codeFolder), &info) && info.dli_fname) {
        const QString file = QFile::decodeName(info.dli_fname);
        // A relative name is the program's own as it was started: read from the kernel instead.
        if (QFileInfo(file).isAbsolute())
            return QFileInfo(file).absolutePath();
    }
    return QCoreApplication::applicationDirPath();
}

} // namespace

PreviewModule::PreviewModule(const QString &path, QObject *parent)
    : QObject(parent)
    , m_path(path)
{
}

PreviewModule &PreviewModule::shared()
{
    if (!sharedModule)
        sharedModule = new PreviewModule(defaultPath(), QCoreApplication::instance());
    return *sharedModule;
}

void PreviewModule::replaceShared(const QString &path)
{
    // The one replaced is left to the application: a browser may still hold an engine of it.
    sharedModule = new PreviewModule(path, QCoreApplication::instance());
}

QString PreviewModule::defaultPath()
{
    const QString beside = QDir(codeFolder()).filePath(kFileName);
    const QString installed = QStringLiteral(ONDREL_PREVIEW_MODULE);
    return QFileInfo::exists(beside) || installed.isEmpty() ? beside : installed;
}

bool PreviewModule::load()
{
    if (m_tried)
        return loaded();
    m_tried = true;
    m_held = false;
    if (!QFileInfo(m_path).isFile()) {
        m_error = QStringLiteral("Aperçu indisponible : le module %1 est introuvable").arg(m_path);
        return false;
    }
    makeShareContext();
    m_library.setFileName(m_path);
    // Never unloaded: the engine's libraries do not survive being taken out of a process.
    m_library.setLoadHints(QLibrary::PreventUnloadHint);
    if (!m_library.load()) {
        m_error = QStringLiteral("Aperçu indisponible : le module %1 ne se charge pas (%2)")
                      .arg(m_path, m_library.errorString());
        return false;
    }
    m_create = reinterpret_cast<CreatePreviewEngine>(m_library.resolve(kCreatePreviewEngineSymbol));
    if (!m_create)
        m_error = QStringLiteral("Aperçu indisponible : le module %1 n'est pas celui de cette version d'Ondrel")
                      .arg(m_path);
    return loaded();
}

PreviewEngine *PreviewModule::createEngine(QWidget *parent, PreviewEngineEvents *events)
{
    if (!load())
        return nullptr;
    PreviewEngine *engine = m_create(parent, events, kPreviewEngineInterface);
    if (!engine)
        m_error = QStringLiteral("Aperçu indisponible : le module %1 n'est pas celui de cette version d'Ondrel")
                      .arg(m_path);
    return engine;
}

void PreviewModule::loadAfterFirstPaint(QWidget *window, int idleMs)
{
    if (m_tried || !window)
        return;
    m_held = true;
    m_idleMs = idleMs;
    m_window = window;
    window->installEventFilter(this);
}

bool PreviewModule::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Paint) {
        watched->removeEventFilter(this);
        // Posted: it runs once this paint, and the flush to the screen after it, are over.
        QTimer::singleShot(0, this, &PreviewModule::release);
    }
    return QObject::eventFilter(watched, event);
}

void PreviewModule::release()
{
    if (!m_held)
        return;
    m_held = false;
    Q_EMIT released();
    if (!m_tried) {
        auto *idle = new QTimer(this);
        idle->setSingleShot(true);
        idle->setTimerType(Qt::CoarseTimer);
        connect(idle, &QTimer::timeout, this, &PreviewModule::load);
        connect(idle, &QTimer::timeout, idle, &QObject::deleteLater);
        idle->start(m_idleMs);
    }
}
