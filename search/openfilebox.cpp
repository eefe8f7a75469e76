// The box of Ctrl+P: a frame that floats over the editor page, not a window of
// its own, so that it never lands on another screen or behind the main window.
#include "search/openfilebox.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

OpenFileBox::OpenFileBox(QWidget *page) : QFrame(page), m_page(page)
{
    setObjectName(QStringLiteral("boxOuvrir"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(3);
    title = new QLabel(this);
    title->setTextFormat(Qt::PlainText);
    edit = new QLineEdit(this);
    edit->setObjectName(QStringLiteral("eOuvrir"));
    edit->setPlaceholderText(QStringLiteral("nom du fichier, nom:ligne"));
    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("lbOuvrir"));
    list->setUniformItemSizes(true);
    list->setFocusPolicy(Qt::NoFocus);
    column->addWidget(title);
    column->addWidget(edit);
    column->addWidget(list);
    edit->installEventFilter(this);
    m_page->installEventFilter(this);
    connect(edit, &QLineEdit::textEdited, this, &OpenFileBox::textEdited);
    connect(list, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) { emit accepted(list->row(item)); });
    hide();
}

void OpenFileBox::popUp(const QString &text, bool filter)
{
    title->setText(text);
    edit->clear();
    edit->setVisible(filter);
    place();
    show();
    raise();
    if (filter)
        edit->setFocus();
    else
        list->setFocus();
    list->setFocusPolicy(filter ? Qt::NoFocus : Qt::StrongFocus);
    if (!filter)
        list->installEventFilter(this);
}

void OpenFileBox::close()
{
    if (isHidden())
        return;
    hide();
    emit closed();
}

void OpenFileBox::place()
{
    const int width = std::min(m_page->width() - 16, std::max(360, m_page->width() * 3 / 5));
    const int height = std::min(m_page->height() - 40, 340);
    setGeometry((m_page->width() - width) / 2, 36, std::max(width, 100), std::max(height, 80));
}

bool OpenFileBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_page) {
        if (event->type() == QEvent::Resize && isVisible())
            place();
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent *>(event)->key();
    const int rows = list->count();
    switch (key) {
    case Qt::Key_Escape:
        close();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (list->currentRow() >= 0)
            emit accepted(list->currentRow());
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        if (rows == 0)
            return true;
        const int step = key == Qt::Key_Up ? -1 : key == Qt::Key_Down ? 1 : key == Qt::Key_PageUp ? -10 : 10;
        list->setCurrentRow(std::clamp(list->currentRow() + step, 0, rows - 1));
        return true;
    }
    default:
        return false;
    }
}
