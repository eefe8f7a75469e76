// The panel of find in files. The matches live in a model of their own, which a
// batch grows by one insertion of rows: a search over a big site brings tens of
// thousands of lines, and one item object per line, with a change signal per
// field, kept the window's thread busy for longer than a frame. The lines'
// texts are made when they are drawn, and a delegate draws the match on a
// highlight.
#include "search/sitesearchpanel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractListModel>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

constexpr int kPrefixRole = Qt::UserRole;     // "file:line: "
constexpr int kTextRole = Qt::UserRole + 1;   // the line's text
constexpr int kColumnRole = Qt::UserRole + 2; // the match's place in the text
constexpr int kLengthRole = Qt::UserRole + 3;

/** Draws "file:line: text" with the match's characters on a highlight. */
class MatchDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem plain = option;
        initStyleOption(&plain, index);
        plain.text.clear();
        QStyle *style = plain.widget ? plain.widget->style() : nullptr;
        if (style)
            style->drawControl(QStyle::CE_ItemViewItem, &plain, painter, plain.widget);
        const QString prefix = index.data(kPrefixRole).toString();
        const QString text = index.data(kTextRole).toString();
        const int column = std::clamp(index.data(kColumnRole).toInt(), 0, int(text.size()));
        const int length = std::clamp(index.data(kLengthRole).toInt(), 0, int(text.size()) - column);
        const QFontMetrics metrics(option.font);
        QRect r = option.rect.adjusted(3, 0, -3, 0);
        const bool selected = option.state & QStyle::State_Selected;
        const QColor ink = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        painter->save();
        painter->setClipRect(option.rect);
        const auto draw = [&](const QString &piece, const QColor &colour, const QColor &back) {
            const int w = metrics.horizontalAdvance(piece);
            if (back.isValid())
                painter->fillRect(QRect(r.left(), r.top() + 1, w, r.height() - 2), back);
            painter->setPen(colour);
            painter->drawText(r, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, piece);
            r.setLeft(r.left() + w);
        };
        draw(prefix, selected ? ink : option.palette.color(QPalette::PlaceholderText), QColor());
        draw(text.left(column), ink, QColor());
        draw(text.mid(column, length), QColor(Qt::black), QColor(0xFF, 0xD8, 0x4D));
        draw(text.mid(column + length), ink, QColor());
        painter->restore();
    }
};

} // namespace

/** The matches of the search shown, one row each. */
class SiteMatchModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_matches.size()); }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_matches.size())
            return {};
        const FindMatch &m = m_matches.at(index.row());
        switch (role) {
        case kPrefixRole:
            return prefixOf(m);
        case kTextRole:
            return m.text;
        case kColumnRole:
            return m.column;
        case kLengthRole:
            return m.length;
        case Qt::ToolTipRole:
            return prefixOf(m) + m.text;
        default:
            return {};
        }
    }

    void append(const QList<FindMatch> &batch)
    {
        if (batch.isEmpty())
            return;
        const int first = int(m_matches.size());
        beginInsertRows({}, first, first + int(batch.size()) - 1);
        m_matches.append(batch);
        endInsertRows();
    }

    void clear()
    {
        beginResetModel();
        m_matches.clear();
        endResetModel();
    }

    const QList<FindMatch> &matches() const { return m_matches; }

private:
    static QString prefixOf(const FindMatch &m) { return QStringLiteral("%1:%2: ").arg(m.file).arg(m.line); }

    QList<FindMatch> m_matches;
};

namespace {

/**
 * Holds widgets that change while a search runs (the count, several times a second;
 * "Rechercher" and "Annuler", which take turns in one place) outside any layout: through
 * a layout each change would lay out the page again, and the tab widget above it answers
 * that by repainting the whole window. Each held widget covers the holder.
 */
class Holder : public QWidget
{
public:
    Holder(const QList<QWidget *> &held, QWidget *parent) : QWidget(parent), m_held(held)
    {
        for (QWidget *w : held)
            w->setParent(this);
    }

protected:
    void resizeEvent(QResizeEvent *) override
    {
        for (QWidget *w : std::as_const(m_held))
            w->setGeometry(rect());
    }

private:
    QList<QWidget *> m_held;
};

template <typename W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

SiteSearchPanel::SiteSearchPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pRechercheSite"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(3, 2, 3, 2);
    column->setSpacing(2);
    auto *row = new QHBoxLayout;
    row->setSpacing(4);
    auto *caption = new QLabel(QStringLiteral("Rechercher dans le site"), this);
    caption->setTextFormat(Qt::PlainText);
    patternEdit = named(new QLineEdit(this), "eRechercheSite");
    matchCase = named(new QCheckBox(QStringLiteral("Respecter la casse"), this), "cbCasseSite");
    wholeWord = named(new QCheckBox(QStringLiteral("Mot entier"), this), "cbMotEntierSite");
    regex = named(new QCheckBox(QStringLiteral("Expression régulière"), this), "cbExpressionSite");
    filterEdit = named(new QLineEdit(this), "eFiltreSite");
    filterEdit->setPlaceholderText(QStringLiteral("*.php"));
    filterEdit->setToolTip(QStringLiteral("Fichiers où chercher : *.php;*.inc (vide : tous)"));
    filterEdit->setFixedWidth(120);
    searchButton = named(new QPushButton(QStringLiteral("Rechercher")), "bRechercheSite");
    cancelButton = named(new QPushButton(QStringLiteral("Annuler")), "bAnnulerSite");
    auto *searchOrCancel = new Holder({searchButton, cancelButton}, this);
    searchOrCancel->setFixedSize(searchButton->sizeHint().expandedTo(cancelButton->sizeHint()));
    cancelButton->hide();
    closeButton = named(new QPushButton(QStringLiteral("Fermer"), this), "bFermerSite");
    count = named(new QLabel, "lRechercheSite");
    count->setTextFormat(Qt::PlainText);
    // Two rows, so that showing the panel does not make the window grow, which lays out
    // and repaints all of it.
    row->addWidget(caption);
    row->addWidget(patternEdit, 1);
    row->addWidget(searchOrCancel);
    row->addWidget(closeButton);
    auto *optionRow = new QHBoxLayout;
    optionRow->setSpacing(4);
    optionRow->addWidget(matchCase);
    optionRow->addWidget(wholeWord);
    optionRow->addWidget(regex);
    optionRow->addWidget(filterEdit);
    auto *countHolder = new Holder({count}, this);
    countHolder->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    countHolder->setFixedHeight(count->fontMetrics().height() + 2);
    optionRow->addWidget(countHolder, 1);
    column->addLayout(row);
    column->addLayout(optionRow);
    m_model = new SiteMatchModel(this);
    list = named(new QListView(this), "lbRechercheSite");
    list->setUniformItemSizes(true);
    list->setModel(m_model);
    list->setItemDelegate(new MatchDelegate(list));
    column->addWidget(list, 1);

    connect(patternEdit, &QLineEdit::returnPressed, this, &SiteSearchPanel::searchAsked);
    connect(filterEdit, &QLineEdit::returnPressed, this, &SiteSearchPanel::searchAsked);
    connect(searchButton, &QPushButton::clicked, this, &SiteSearchPanel::searchAsked);
    connect(cancelButton, &QPushButton::clicked, this, &SiteSearchPanel::cancelAsked);
    connect(closeButton, &QPushButton::clicked, this, [this] {
        emit cancelAsked();
        hide();
    });
    connect(list, &QListView::clicked, this, [this](const QModelIndex &index) { emit matchChosen(index.row()); });
    connect(list, &QListView::activated, this, [this](const QModelIndex &index) { emit matchChosen(index.row()); });
    m_showTimer.setSingleShot(true);
    m_showTimer.setInterval(kShowEveryMs);
    connect(&m_showTimer, &QTimer::timeout, this, &SiteSearchPanel::showPending);
    hide();
}

void SiteSearchPanel::open(const QString &pattern)
{
    if (!pattern.isEmpty())
        patternEdit->setText(pattern);
    show();
    patternEdit->setFocus();
    patternEdit->selectAll();
}

FindOptions SiteSearchPanel::options() const
{
    FindOptions options;
    options.pattern = patternEdit->text();
    options.matchCase = matchCase->isChecked();
    options.wholeWord = wholeWord->isChecked();
    options.regex = regex->isChecked();
    options.fileFilter = filterEdit->text();
    return options;
}

void SiteSearchPanel::setOptions(const FindOptions &options)
{
    patternEdit->setText(options.pattern);
    matchCase->setChecked(options.matchCase);
    wholeWord->setChecked(options.wholeWord);
    regex->setChecked(options.regex);
    filterEdit->setText(options.fileFilter);
}

const FindMatch &SiteSearchPanel::match(int row) const
{
    return m_model->matches().at(row);
}

qsizetype SiteSearchPanel::matchCount() const
{
    return m_model->matches().size();
}

void SiteSearchPanel::searchStarted()
{
    m_showTimer.stop();
    m_pending.clear();
    m_model->clear();
    searchButton->hide();
    cancelButton->show();
    showCount(QStringLiteral("recherche en cours…"));
}

void SiteSearchPanel::addMatches(const QList<FindMatch> &batch)
{
    m_pending.append(batch);
    if (m_model->rowCount() == 0)
        showPending(); // the first result without waiting
    else if (!m_showTimer.isActive())
        m_showTimer.start();
}

void SiteSearchPanel::showPending()
{
    m_showTimer.stop();
    if (m_pending.isEmpty())
        return;
    m_model->append(std::exchange(m_pending, {}));
    showCount(QStringLiteral("recherche en cours…"));
}

void SiteSearchPanel::showCount(const QString &more)
{
    const qsizetype lines = matchCount();
    QString text = lines == 1 ? QStringLiteral("1 ligne") : QStringLiteral("%1 lignes").arg(lines);
    if (!more.isEmpty())
        text += QStringLiteral(" — ") + more;
    count->setText(text);
}

void SiteSearchPanel::searchFinished(const FindSummary &summary)
{
    showPending();
    cancelButton->hide();
    searchButton->show();
    if (!summary.error.isEmpty()) {
        count->setText(summary.error);
        return;
    }
    QStringList parts;
    parts << QStringLiteral("%1 occurrence%2 dans %3 fichier%4 lu%4")
                 .arg(summary.matches)
                 .arg(summary.matches > 1 ? QStringLiteral("s") : QString())
                 .arg(summary.filesSearched)
                 .arg(summary.filesSearched > 1 ? QStringLiteral("s") : QString());
    if (summary.skippedBinary)
        parts << QStringLiteral("%1 binaire%2 ignoré%2").arg(summary.skippedBinary).arg(summary.skippedBinary > 1 ? "s" : "");
    if (summary.skippedLarge)
        parts << QStringLiteral("%1 trop gros ignoré%2").arg(summary.skippedLarge).arg(summary.skippedLarge > 1 ? "s" : "");
    if (summary.unreadable)
        parts << QStringLiteral("%1 illisible%2").arg(summary.unreadable).arg(summary.unreadable > 1 ? "s" : "");
    if (summary.truncated)
        parts << QStringLiteral("arrêtée à la limite");
    if (summary.cancelled)
        parts << QStringLiteral("annulée");
    showCount(parts.join(QStringLiteral(", ")));
}
