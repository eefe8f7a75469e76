// The panel of find in files. The list is filled by batches as they arrive; its
// lines draw the match on a highlight with a delegate, so a line stays one item.
#include "search/sitesearchpanel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
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
    filterEdit->setMaximumWidth(120);
    searchButton = named(new QPushButton(QStringLiteral("Rechercher"), this), "bRechercheSite");
    cancelButton = named(new QPushButton(QStringLiteral("Annuler"), this), "bAnnulerSite");
    cancelButton->hide();
    closeButton = named(new QPushButton(QStringLiteral("Fermer"), this), "bFermerSite");
    count = named(new QLabel(this), "lRechercheSite");
    count->setTextFormat(Qt::PlainText);
    row->addWidget(caption);
    row->addWidget(patternEdit, 2);
    row->addWidget(matchCase);
    row->addWidget(wholeWord);
    row->addWidget(regex);
    row->addWidget(filterEdit, 1);
    row->addWidget(searchButton);
    row->addWidget(cancelButton);
    row->addWidget(closeButton);
    column->addLayout(row);
    column->addWidget(count);
    list = named(new QListWidget(this), "lbRechercheSite");
    list->setUniformItemSizes(true);
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
    connect(list, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) { emit matchChosen(list->row(item)); });
    connect(list, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) { emit matchChosen(list->row(item)); });
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

void SiteSearchPanel::searchStarted()
{
    m_matches.clear();
    list->clear();
    cancelButton->show();
    showCount(QStringLiteral("recherche en cours…"));
}

void SiteSearchPanel::addMatches(const QList<FindMatch> &batch)
{
    list->setUpdatesEnabled(false);
    for (const FindMatch &m : batch) {
        auto *item = new QListWidgetItem(list);
        const QString prefix = QStringLiteral("%1:%2: ").arg(m.file).arg(m.line);
        item->setData(kPrefixRole, prefix);
        item->setData(kTextRole, m.text);
        item->setData(kColumnRole, m.column);
        item->setData(kLengthRole, m.length);
        item->setToolTip(prefix + m.text);
        m_matches.append(m);
    }
    list->setUpdatesEnabled(true);
    showCount(QStringLiteral("recherche en cours…"));
}

void SiteSearchPanel::showCount(const QString &more)
{
    QString text = m_matches.size() == 1 ? QStringLiteral("1 ligne") : QStringLiteral("%1 lignes").arg(m_matches.size());
    if (!more.isEmpty())
        text += QStringLiteral(" — ") + more;
    count->setText(text);
}

void SiteSearchPanel::searchFinished(const FindSummary &summary)
{
    cancelButton->hide();
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
