// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace paddock {

class Window;

/// A file chooser for one existing file (folders cannot be chosen, no filter on types),
/// opened window-modal on a window. It returns at once; the answer comes later through a
/// callback. Each window makes the kind of panel it carries; tests install a factory that
/// makes panels whose answers they give.
class OpenPanel : public QObject {
    Q_OBJECT
public:
    /// Called once with the panel, OKButton or CancelButton, and the context code.
    using DidEnd = std::function<void(OpenPanel *panel, int returnCode, int contextInfo)>;
    using Factory = std::function<OpenPanel *()>;

    static constexpr int OKButton = 1;
    static constexpr int CancelButton = 0;

    /// A new panel from the installed factory, else of the kind window carries; null with
    /// neither. Once begun it owns itself and is deleted after its callback has run, or with
    /// the window it was opened on.
    static OpenPanel *openPanel(Window *window);
    /// Installs the maker of new panels; an empty factory restores each window's own kind.
    static void setFactory(Factory factory);
    /// The panel open on window (none: the panels opened without a window), if any.
    static OpenPanel *attachedSheet(const Window *window);

    ~OpenPanel() override;
    Q_DISABLE_COPY_MOVE(OpenPanel)

    /// The text shown in the panel, telling the user what to choose.
    void setMessage(const QString &message) { m_message = message; }
    const QString &message() const { return m_message; }
    /// Names the memory in which this kind of chooser keeps, across runs, the folder of the
    /// file last chosen with it; it opens there when no folder is given.
    void setIdentifier(const QString &identifier) { m_identifier = identifier; }
    const QString &identifier() const { return m_identifier; }

    /// Opens the panel on window and returns at once. It starts in directory, else in the
    /// remembered folder, else in one of the platform's choosing; file, when given, is
    /// suggested and selected, looked for in that folder when it is a relative name.
    /// didEnd is called exactly once, unless the window goes away first.
    void beginSheetForDirectory(const std::optional<std::string> &directory,
                                const std::optional<std::string> &file, Window *window,
                                DidEnd didEnd, int contextInfo);
    /// Brings the open panel to the front and gives it the keyboard.
    void orderFront() { raisePanel(); }

    /// The chosen files' paths as the operating system's bytes: one after OK, else none.
    const std::vector<std::string> &filenames() const { return m_filenames; }
    /// The window the panel was opened on.
    Window *window() const;
    bool isOpen() const { return m_open; }

protected:
    OpenPanel() = default;
    /// Shows the chooser on window(). directory and file are as given to
    /// beginSheetForDirectory, with the remembered folder filled in.
    virtual void present(const std::optional<std::string> &directory,
                         const std::optional<std::string> &file) = 0;
    virtual void raisePanel() = 0;
    /// Hands the user's answer to the callback, once; the panel is deleted afterwards.
    void finish(int returnCode, std::vector<std::string> filenames);

private:
    QString m_message;
    QString m_identifier;
    QPointer<Window> m_window;
    DidEnd m_didEnd;
    int m_contextInfo = 0;
    bool m_open = false;
    std::vector<std::string> m_filenames;
};

} // namespace paddock
