#pragma once

#include <QFrame>
#include <QLineEdit>
#include <QToolButton>

/** A container panel; raises resized() whenever its size changes. */
class Panel : public QFrame
{
    Q_OBJECT
public:
    explicit Panel(QWidget *parent = nullptr);

Q_SIGNALS:
    void resized();

protected:
    void resizeEvent(QResizeEvent *event) override;
};

/**
 * A flat speed button. Besides clicked() it reports the release of any mouse
 * button over it (left, right or middle), which anchors use to tell them apart.
 */
class SpeedButton : public QToolButton
{
    Q_OBJECT
public:
    explicit SpeedButton(const QString &caption, QWidget *parent = nullptr, bool blue = false);

Q_SIGNALS:
    void mouseUp(Qt::MouseButton button);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};

/** A one-line edit that reports when the keyboard focus moves from it to another control of its window. */
class Edit : public QLineEdit
{
    Q_OBJECT
public:
    explicit Edit(QWidget *parent = nullptr);

Q_SIGNALS:
    void exited();

protected:
    void focusOutEvent(QFocusEvent *event) override;
};
