#include "db/simplecombo.h"
#include "base/virtualkeys.h"

#include "editor/richedit.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

SimpleComboBox::SimpleComboBox(QWidget *parent)
    : QWidget(parent)
    , m_edit(new QLineEdit(this))
    , m_list(new QListWidget(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_edit);
    layout->addWidget(m_list, 1);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setFocusPolicy(Qt::ClickFocus);
    m_edit->setMaxLength(std::numeric_limits<int>::max()); // no cut statement
    m_edit->installEventFilter(this);
    m_list->installEventFilter(this);
    connect(m_list, &QListWidget::currentRowChanged, this, &SimpleComboBox::lineChosen);
    connect(m_edit, &QLineEdit::textEdited, this, &SimpleComboBox::editTextChanged);
}

QString SimpleComboBox::text() const
{
    return m_edit->text();
}

void SimpleComboBox::setText(const QString &text)
{
    m_edit->setText(text);
}

int SimpleComboBox::count() const
{
    return m_list->count();
}

QString SimpleComboBox::item(int index) const
{
    const QListWidgetItem *line = m_list->item(index);
    return line ? line->text() : QString();
}

QStringList SimpleComboBox::items() const
{
    QStringList lines;
    lines.reserve(m_list->count());
    for (int i = 0; i < m_list->count(); ++i)
        lines.append(m_list->item(i)->text());
    return lines;
}

void SimpleComboBox::addItem(const QString &text)
{
    const QSignalBlocker blocker(m_list);
    m_list->addItem(text);
}

void SimpleComboBox::removeItem(int index)
{
    if (index < 0 || index >= m_list->count())
        return;
    const QSignalBlocker blocker(m_list); // the next line must not replace the edit line
    delete m_list->takeItem(index);
    m_list->setCurrentRow(-1);
    m_list->clearSelection();
}

void SimpleComboBox::clear()
{
    const QSignalBlocker blocker(m_list);
    m_list->clear();
}

int SimpleComboBox::selectedIndex() const
{
    const QListWidgetItem *current = m_list->currentItem();
    return current && current->isSelected() ? m_list->row(current) : -1;
}

void SimpleComboBox::setSelectedIndex(int index)
{
    if (index < 0 || index >= m_list->count()) {
        const QSignalBlocker blocker(m_list);
        m_list->setCurrentRow(-1);
        m_list->clearSelection();
        return;
    }
    m_list->setCurrentRow(index);
}

void SimpleComboBox::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    QPalette palette = m_edit->palette();
    palette.setColor(QPalette::Base, busy ? QColor(0xFF, 0xF4, 0xC8) : QPalette().color(QPalette::Base));
    m_edit->setPalette(palette);
    m_edit->setToolTip(busy ? QStringLiteral("Requête en cours…") : QString());
}

bool SimpleComboBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        Q_EMIT listKeyDown(virtualKeyCode(static_cast<QKeyEvent *>(event)->key()));
        return QWidget::eventFilter(watched, event);
    }
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const int key = virtualKeyCode(static_cast<QKeyEvent *>(event)->key());
        Q_EMIT keyDown(key);
        if (key == VkUp || key == VkDown) {
            moveSelection(key == VkUp ? -1 : 1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SimpleComboBox::lineChosen(int index)
{
    if (index >= 0)
        m_edit->setText(m_list->item(index)->text());
}

void SimpleComboBox::editTextChanged(const QString &text)
{
    const int selected = selectedIndex();
    if (selected >= 0 && m_list->item(selected)->text() != text)
        setSelectedIndex(-1);
}

void SimpleComboBox::moveSelection(int step)
{
    if (m_list->count() == 0)
        return;
    const int selected = selectedIndex();
    const int next = selected < 0 ? (step > 0 ? 0 : m_list->count() - 1)
                                  : std::clamp(selected + step, 0, m_list->count() - 1);
    m_list->setCurrentRow(next);
    lineChosen(next); // also when the line was already current
}
