#include "preview/serverlogpanel.h"

#include <QFontDatabase>
#include <QListWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr int kListHeight = 150;
constexpr int kKindRole = Qt::UserRole + 1;
const QColor kErrorColour(0xC0, 0x00, 0x00);
} // namespace

ServerLogPanel::ServerLogPanel(QWidget *parent)
    : QWidget(parent)
    , m_header(new QToolButton(this))
    , m_list(new QListWidget(this))
{
    m_plainText = m_header->palette().color(QPalette::ButtonText);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_header->setObjectName(QStringLiteral("sbJournal"));
    m_header->setAutoRaise(true);
    m_header->setCheckable(true);
    m_header->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    layout->addWidget(m_header);
    m_list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_list->setUniformItemSizes(true);
    m_list->setFixedHeight(kListHeight);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    layout->addWidget(m_list);
    connect(m_header, &QToolButton::toggled, this, &ServerLogPanel::setExpanded);
    connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        Q_EMIT lineClicked(item->text(), ServerLineKind(item->data(kKindRole).toInt()));
    });
    setExpanded(false);
}

void ServerLogPanel::appendLine(const QString &text, ServerLineKind kind)
{
    auto *item = new QListWidgetItem(text);
    item->setData(kKindRole, int(kind));
    if (kind == ServerLineKind::Error) {
        item->setForeground(kErrorColour);
        if (!isExpanded()) {
            m_unseenErrors = true;
            updateHeader();
        }
    }
    const bool atEnd = m_list->count() == 0 || m_list->currentRow() < 0;
    m_list->addItem(item);
    while (m_list->count() > BuiltinServer::kLogLines)
        delete m_list->takeItem(0);
    if (atEnd)
        m_list->scrollToBottom();
}

void ServerLogPanel::setExpanded(bool expanded)
{
    if (m_header->isChecked() != expanded)
        m_header->setChecked(expanded); // comes back here through toggled()
    m_list->setVisible(expanded);
    if (expanded) {
        m_unseenErrors = false;
        m_list->scrollToBottom();
    }
    updateHeader();
}

bool ServerLogPanel::isExpanded() const
{
    return m_header->isChecked();
}

void ServerLogPanel::updateHeader()
{
    m_header->setArrowType(isExpanded() ? Qt::DownArrow : Qt::RightArrow);
    m_header->setText(m_unseenErrors ? QStringLiteral("Journal du serveur : erreurs PHP")
                                     : QStringLiteral("Journal du serveur"));
    QPalette palette = m_header->palette();
    palette.setColor(QPalette::ButtonText, m_unseenErrors ? kErrorColour : m_plainText);
    m_header->setPalette(palette);
}

QStringList ServerLogPanel::lines() const
{
    QStringList texts;
    for (int row = 0; row < m_list->count(); ++row)
        texts.append(m_list->item(row)->text());
    return texts;
}

bool ServerLogPanel::isErrorRow(int row) const
{
    const QListWidgetItem *item = m_list->item(row);
    return item && ServerLineKind(item->data(kKindRole).toInt()) == ServerLineKind::Error;
}
