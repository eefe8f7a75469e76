#include "db/simplecombo.h"

#include "editor/richedit.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

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
    m_edit->installEventFilter(this);
    connect(m_list, &QListWidget::currentTextChanged, m_edit, &QLineEdit::setText);
}

bool SimpleComboBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit && event->type() == QEvent::KeyPress)
        Q_EMIT keyDown(virtualKeyCode(static_cast<QKeyEvent *>(event)->key()));
    return QWidget::eventFilter(watched, event);
}
