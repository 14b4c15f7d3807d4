// SPDX-License-Identifier: MIT
#include "OpenPanel.h"

#include "ChooserMemory.h"
#include "String.h"
#include "Window.h"

#include <QList>

namespace paddock {

namespace {

OpenPanel::Factory &installedFactory()
{
    static OpenPanel::Factory factory;
    return factory;
}

// The panels begun and not yet answered, each with the window it is attached to.
QList<OpenPanel *> &openPanels()
{
    static QList<OpenPanel *> panels;
    return panels;
}

} // namespace

OpenPanel *OpenPanel::openPanel(Window *window)
{
    if (const Factory &factory = installedFactory())
        return factory();
    return window ? window->makeOpenPanel() : nullptr;
}

void OpenPanel::setFactory(Factory factory)
{
    installedFactory() = std::move(factory);
}

OpenPanel *OpenPanel::attachedSheet(const Window *window)
{
    for (OpenPanel *panel : std::as_const(openPanels())) {
        if (panel->m_window.data() == window)
            return panel;
    }
    return nullptr;
}

Window *OpenPanel::window() const
{
    return m_window;
}

OpenPanel::~OpenPanel()
{
    openPanels().removeAll(this);
}

void OpenPanel::beginSheetForDirectory(const std::optional<std::string> &directory,
                                       const std::optional<std::string> &file, Window *window,
                                       DidEnd didEnd, int contextInfo)
{
    Q_ASSERT(!m_open && !m_didEnd); // a panel is begun once
    m_window = window;
    m_didEnd = std::move(didEnd);
    m_contextInfo = contextInfo;
    m_open = true;
    // A panel goes away with its window, never outliving it with a callback pending.
    if (window)
        setParent(window);
    openPanels().append(this);

    std::optional<std::string> start = directory;
    if (!start && !m_identifier.isEmpty())
        start = chooserMemory().stringForKey(m_identifier);
    present(start, file);
}

void OpenPanel::finish(int returnCode, std::vector<std::string> filenames)
{
    if (!m_open)
        return;
    m_open = false;
    // Closed before the callback runs, so the callback may open the next chooser here.
    openPanels().removeAll(this);
    if (returnCode == OKButton)
        m_filenames = std::move(filenames);
    if (returnCode == OKButton && !m_filenames.empty() && !m_identifier.isEmpty())
        chooserMemory().setString(m_identifier, deletingLastPathComponent(m_filenames.front()));
    deleteLater();
    const DidEnd didEnd = std::move(m_didEnd);
    m_didEnd = nullptr;
    if (didEnd)
        didEnd(this, returnCode, m_contextInfo);
}

} // namespace paddock
