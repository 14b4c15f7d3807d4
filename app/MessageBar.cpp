// SPDX-License-Identifier: MIT
#include "MessageBar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace paddock {

MessageBar::MessageBar(QWidget *parent)
    : QFrame(parent)
    , m_icon(new QLabel(this))
    , m_text(new QLabel(this))
    , m_close(new QToolButton(this))
{
    setObjectName(QStringLiteral("messageBar"));
    setAccessibleName(tr("Message"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);

    m_text->setObjectName(QStringLiteral("messageText"));
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    // Read by keyboard and screen reader alike; a sentence here may be long.
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setFocusPolicy(Qt::StrongFocus);

    m_close->setObjectName(QStringLiteral("messageClose"));
    m_close->setAutoRaise(true);
    m_close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    m_close->setToolTip(tr("Close this message"));
    m_close->setAccessibleName(tr("Close message"));
    connect(m_close, &QToolButton::clicked, this, [this] {
        dismiss();
        Q_EMIT closed();
    });

    auto *top = new QHBoxLayout;
    top->addWidget(m_icon, 0, Qt::AlignTop);
    top->addWidget(m_text, 1);
    top->addWidget(m_close, 0, Qt::AlignTop);
    m_buttonRow = new QHBoxLayout;
    m_buttonRow->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(m_buttonRow);
    hide();
}

MessageBar::~MessageBar() = default;

void MessageBar::showMessage(const QString &text, WarningLevel level,
                             const QList<Action> &actions)
{
    const bool sameButtons =
        m_buttons.size() == actions.size() &&
        std::equal(actions.begin(), actions.end(), m_buttons.begin(),
                   [](const Action &action, QPushButton *button) {
                       return action.label == button->text();
                   });
    if (!sameButtons) {
        qDeleteAll(m_buttons);
        m_buttons.clear();
        for (const Action &action : actions) {
            auto *button = new QPushButton(action.label, this);
            m_buttonRow->addWidget(button);
            m_buttons.append(button);
        }
    }
    // What a button does may change with the situation even when its label does not.
    for (qsizetype i = 0; i < actions.size(); ++i) {
        disconnect(m_buttons[i], &QPushButton::clicked, nullptr, nullptr);
        connect(m_buttons[i], &QPushButton::clicked, this, actions[i].perform);
    }
    m_level = level;
    m_icon->setPixmap(style()
                          ->standardIcon(level == WarningLevel::Error
                                             ? QStyle::SP_MessageBoxCritical
                                             : QStyle::SP_MessageBoxWarning)
                          .pixmap(style()->pixelMetric(QStyle::PM_SmallIconSize)));
    if (m_text->text() != text) {
        m_text->setText(text);
        setAccessibleDescription(text);
    }
    tint();
    show();
}

void MessageBar::dismiss()
{
    hide();
    qDeleteAll(m_buttons);
    m_buttons.clear();
    m_text->clear();
}

QString MessageBar::text() const
{
    return isVisible() || !m_text->text().isEmpty() ? m_text->text() : QString();
}

void MessageBar::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    // Setting the tint changes the palette too: only a change from outside (a theme) tints anew.
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) &&
        !m_tinting)
        tint();
}

void MessageBar::tint()
{
    // A light wash of the warning's colour over the window's own, so the text keeps its
    // contrast in light and dark themes alike.
    QPalette palette = parentWidget() ? parentWidget()->palette() : this->palette();
    const QColor base = palette.color(QPalette::Window);
    const QColor accent = warningColour(palette, m_level);
    constexpr double Wash = 0.18;
    const QColor washed = QColor::fromRgbF(
        float(base.redF() * (1 - Wash) + accent.redF() * Wash),
        float(base.greenF() * (1 - Wash) + accent.greenF() * Wash),
        float(base.blueF() * (1 - Wash) + accent.blueF() * Wash));
    palette.setColor(QPalette::Window, washed);
    palette.setColor(QPalette::Light, accent);
    palette.setColor(QPalette::Dark, accent);
    m_tinting = true;
    setPalette(palette);
    m_tinting = false;
}

} // namespace paddock
