#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// A dialog in which the user picks an existing file. Set the properties, call
// runModal(), then take url() when it answered ModalResponse::OK.
//
// The setters are virtual so that a panel can observe what its caller asks
// for; an override must call the base setter.
class OpenPanel {
public:
    virtual ~OpenPanel() = default;

    // File name extensions without the dot ("txt"); empty allows every file.
    [[nodiscard]] QStringList allowedFileTypes() const { return m_allowedFileTypes; }
    virtual void setAllowedFileTypes(const QStringList &types) { m_allowedFileTypes = types; }

    [[nodiscard]] bool allowsMultipleSelection() const { return m_allowsMultipleSelection; }
    virtual void setAllowsMultipleSelection(bool allows) { m_allowsMultipleSelection = allows; }

    [[nodiscard]] bool canChooseDirectories() const { return m_canChooseDirectories; }
    virtual void setCanChooseDirectories(bool can) { m_canChooseDirectories = can; }

    [[nodiscard]] bool canChooseFiles() const { return m_canChooseFiles; }
    virtual void setCanChooseFiles(bool can) { m_canChooseFiles = can; }

    // Shows the dialog and returns when it is closed: ModalResponse::OK or
    // ModalResponse::Cancel.
    virtual int runModal() = 0;
    // The local path of the chosen file (the first one when several were
    // chosen); nothing before runModal() or after a cancel.
    [[nodiscard]] virtual std::optional<QString> url() const = 0;

protected:
    OpenPanel() = default;
    OpenPanel(const OpenPanel &) = default;
    OpenPanel &operator=(const OpenPanel &) = default;

private:
    QStringList m_allowedFileTypes;
    bool m_allowsMultipleSelection = false;
    bool m_canChooseDirectories = false;
    bool m_canChooseFiles = true;
};
