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
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kPrefixRole = Qt::UserRole;     // "file:line: "
constexpr int kTextRole = Qt::UserRole + 1;   // the line's text
constexpr int kColumnRole = Qt::UserRole + 2; // the match's place in the text
constexpr int kLengthRole = Qt::UserRole + 3;

/**
 * Draws "file:line: text" with the match's characters on a highlight. The list is
 * repainted each time lines are added below while a search runs; the pieces of the
 * rows drawn are kept laid out (QStaticText), so that a repaint does not shape the
 * same text again. The kept rows are dropped when the list is emptied.
 */
class MatchDelegate : public QStyledItemDelegate
{
public:
    explicit MatchDelegate(QAbstractItemModel *model, QObject *parent) : QStyledItemDelegate(parent)
    {
        connect(model, &QAbstractItemModel::modelReset, this, [this] { m_rows.clear(); });
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem plain = option;
        initStyleOption(&plain, index);
        plain.text.clear();
        QStyle *style = plain.widget ? plain.widget->style() : nullptr;
        if (style)
            style->drawControl(QStyle::CE_ItemViewItem, &plain, painter, plain.widget);
        const Pieces &pieces = piecesOf(index, option.font);
        const bool selected = option.state & QStyle::State_Selected;
        const QColor ink = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        const QRect r = option.rect.adjusted(3, 0, -3, 0);
        QPointF at(r.left(), r.top() + (r.height() - QFontMetrics(option.font).height()) / 2);
        painter->save();
        painter->setClipRect(option.rect);
        const auto draw = [&](const QStaticText &piece, const QColor &colour, const QColor &back) {
            const qreal w = piece.size().width();
            if (back.isValid())
                painter->fillRect(QRectF(at.x(), r.top() + 1, w, r.height() - 2), back);
            painter->setPen(colour);
            painter->drawStaticText(at, piece);
            at.rx() += w;
        };
        draw(pieces.prefix, selected ? ink : option.palette.color(QPalette::PlaceholderText), QColor());
        draw(pieces.before, ink, QColor());
        draw(pieces.match, QColor(Qt::black), QColor(0xFF, 0xD8, 0x4D));
        draw(pieces.after, ink, QColor());
        painter->restore();
    }

private:
    struct Pieces
    {
        QStaticText prefix, before, match, after;
    };

    const Pieces &piecesOf(const QModelIndex &index, const QFont &font) const
    {
        if (font != m_font || m_rows.size() > kKeptRows) {
            m_rows.clear();
            m_font = font;
        }
        auto found = m_rows.find(index.row());
        if (found != m_rows.end())
            return *found;
        const QString text = index.data(kTextRole).toString();
        const int column = std::clamp(index.data(kColumnRole).toInt(), 0, int(text.size()));
        const int length = std::clamp(index.data(kLengthRole).toInt(), 0, int(text.size()) - column);
        const auto laidOut = [&](const QString &piece) {
            QStaticText s(piece);
            s.setTextFormat(Qt::PlainText);
            s.setPerformanceHint(QStaticText::AggressiveCaching);
            s.prepare(QTransform(), font);
            return s;
        };
        Pieces pieces{laidOut(index.data(kPrefixRole).toString()), laidOut(text.left(column)),
                      laidOut(text.mid(column, length)), laidOut(text.mid(column + length))};
        return *m_rows.insert(index.row(), std::move(pieces));
    }

    static constexpr qsizetype kKeptRows = 2000; // a few screens, then the cache starts again
    mutable QHash<int, Pieces> m_rows;
    mutable QFont m_font;
};

} // namespace

/**
 * The matches of the search shown, one row each. The batches are kept as they came
 * (a QList is shared, not copied), so that adding one costs the same however many
 * lines came before it.
 */
class SiteMatchModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_rows); }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_rows)
            return {};
        const FindMatch &m = at(index.row());
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

    /** Appends the batches' lines, in one insertion of rows. */
    void append(const QList<QList<FindMatch>> &batches)
    {
        qsizetype added = 0;
        for (const QList<FindMatch> &batch : batches)
            added += batch.size();
        if (added == 0)
            return;
        beginInsertRows({}, int(m_rows), int(m_rows + added) - 1);
        for (const QList<FindMatch> &batch : batches) {
            if (batch.isEmpty())
                continue;
            m_starts.append(m_rows);
            m_batches.append(batch);
            m_rows += batch.size();
        }
        endInsertRows();
    }

    void clear()
    {
        beginResetModel();
        m_batches.clear();
        m_starts.clear();
        m_rows = 0;
        endResetModel();
    }

    qsizetype size() const { return m_rows; }
    /** The match on row `row`, 0 <= row < size(). */
    const FindMatch &at(qsizetype row) const
    {
        const qsizetype batch = std::upper_bound(m_starts.cbegin(), m_starts.cend(), row) - m_starts.cbegin() - 1;
        return m_batches.at(batch).at(row - m_starts.at(batch));
    }

private:
    static QString prefixOf(const FindMatch &m) { return QStringLiteral("%1:%2: ").arg(m.file).arg(m.line); }

    QList<QList<FindMatch>> m_batches;
    QList<qsizetype> m_starts; // the first row of each batch
    qsizetype m_rows = 0;
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
    list->setItemDelegate(new MatchDelegate(m_model, list));
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
    return m_model->at(row);
}

qsizetype SiteSearchPanel::matchCount() const
{
    return m_model->size();
}

void SiteSearchPanel::searchStarted()
{
    m_showTimer.stop();
    m_pending.clear();
    m_pendingLines = 0;
    m_model->clear();
    searchButton->hide();
    cancelButton->show();
    showCount(QStringLiteral("recherche en cours…"));
}

void SiteSearchPanel::addMatches(const QList<FindMatch> &batch)
{
    m_pending.append(batch);
    m_pendingLines += batch.size();
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
    m_pendingLines = 0;
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
    if (summary.unreadable || summary.unreadableFolders)
        parts << unreadableCountText(summary.unreadable, summary.unreadableFolders);
    if (summary.truncated)
        parts << QStringLiteral("arrêtée à la limite");
    if (summary.cancelled)
        parts << QStringLiteral("annulée");
    showCount(parts.join(QStringLiteral(", ")));
}
