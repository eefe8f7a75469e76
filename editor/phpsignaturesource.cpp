#include "editor/phpsignaturesource.h"

#include "editor/phpsignatures.h"

#include <QThread>

PhpSignatureSource::PhpSignatureSource(QObject *parent)
    : QObject(parent)
{
}

PhpSignatureSource::~PhpSignatureSource()
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread; // its end was never handled here
    }
}

void PhpSignatureSource::start(const QString &php, const QString &cacheFile)
{
    if (php.isEmpty() || m_thread)
        return;
    m_thread = QThread::create([this, php, cacheFile] { m_result = loadPhpSignatures(php, cacheFile); });
    connect(m_thread, &QThread::finished, this, [this] {
        m_signatures = std::move(m_result);
        m_loaded = true;
        m_thread->deleteLater();
        m_thread = nullptr;
        Q_EMIT loaded();
    });
    m_thread->start(QThread::LowPriority);
}
