#include "editor/findbar.h"

#include "editor/findjob.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

template <typename W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

constexpr int kProgressEveryMs = 100;

} // namespace

FindBar::FindBar(QWidget *parent)
    : QWidget(parent)
{
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(3, 2, 3, 2);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);

    findEdit = named(new QLineEdit(this), "eRechercher");
    nextButton = named(new QPushButton(QStringLiteral("Suivant"), this), "bSuivant");
    previousButton = named(new QPushButton(QStringLiteral("Précédent"), this), "bPrecedent");
    matchCase = named(new QCheckBox(QStringLiteral("Respecter la casse"), this), "cbCasse");
    wholeWord = named(new QCheckBox(QStringLiteral("Mot entier"), this), "cbMotEntier");
    regex = named(new QCheckBox(QStringLiteral("Expression régulière"), this), "cbExpression");
    status = named(new QLabel(this), "lRecherche");
    status->setTextFormat(Qt::PlainText);
    auto *findLabel = new QLabel(QStringLiteral("Rechercher"), this);
    findLabel->setTextFormat(Qt::PlainText);
    grid->addWidget(findLabel, 0, 0);
    grid->addWidget(findEdit, 0, 1);
    grid->addWidget(nextButton, 0, 2);
    grid->addWidget(previousButton, 0, 3);
    auto *options = new QHBoxLayout;
    options->addWidget(matchCase);
    options->addWidget(wholeWord);
    options->addWidget(regex);
    options->addWidget(status, 1);
    cancelButton = named(new QPushButton(QStringLiteral("Annuler"), this), "bAnnulerRecherche");
    cancelButton->hide();
    options->addWidget(cancelButton);
    grid->addLayout(options, 0, 4);

    replaceEdit = named(new QLineEdit(this), "eRemplacer");
    replaceButton = named(new QPushButton(QStringLiteral("Remplacer"), this), "bRemplacer");
    replaceAllButton = named(new QPushButton(QStringLiteral("Tout remplacer"), this), "bToutRemplacer");
    auto *replaceLabel = new QLabel(QStringLiteral("Remplacer"), this);
    replaceLabel->setTextFormat(Qt::PlainText);
    grid->addWidget(replaceLabel, 1, 0);
    grid->addWidget(replaceEdit, 1, 1);
    grid->addWidget(replaceButton, 1, 2);
    grid->addWidget(replaceAllButton, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(4, 1);
    for (QWidget *w : {static_cast<QWidget *>(replaceLabel), static_cast<QWidget *>(replaceEdit),
                       static_cast<QWidget *>(replaceButton), static_cast<QWidget *>(replaceAllButton)})
        w->setProperty("replaceRow", true);
    for (QPushButton *b : {nextButton, previousButton, replaceButton, replaceAllButton, cancelButton})
        b->setAutoDefault(false);

    m_job = new FindJob(this);
    m_progress = new QTimer(this);
    connect(m_progress, &QTimer::timeout, this, &FindBar::showProgress);
    connect(cancelButton, &QPushButton::clicked, this, &FindBar::cancelRun);
    connect(m_job, &FindJob::finished, this, [this](const FindRequest &request, const FindResult &result) {
        endRun();
        Q_EMIT finished(request, result);
    });
    hide();
}

void FindBar::run(FindRequest request)
{
    m_job->start(std::move(request));
    status->clear();
    cancelButton->hide();
    m_progress->start(m_progressAfterMs);
}

bool FindBar::running() const
{
    return m_job->isRunning();
}

void FindBar::cancelRun()
{
    if (!m_job->isRunning())
        return;
    m_job->cancel();
    endRun();
    setStatus(QStringLiteral("Recherche annulée"));
}

void FindBar::showProgress()
{
    m_progress->setInterval(kProgressEveryMs);
    status->setText(QStringLiteral("Recherche… %1 %").arg(m_job->permille() / 10));
    cancelButton->show();
}

void FindBar::endRun()
{
    m_progress->stop();
    cancelButton->hide();
    status->clear();
}

bool FindBar::replaceShown() const
{
    return !replaceEdit->isHidden();
}

void FindBar::open(bool replace, const QString &initial)
{
    for (QWidget *w : findChildren<QWidget *>()) {
        if (w->property("replaceRow").toBool())
            w->setVisible(replace);
    }
    if (!initial.isEmpty())
        findEdit->setText(initial);
    status->clear();
    show();
    findEdit->setFocus(Qt::ShortcutFocusReason);
    findEdit->selectAll();
}

void FindBar::setStatus(const QString &text)
{
    status->setText(text);
}
