#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// A dialog in which the user picks a folder and a name to save to. Set the
// properties, call runModal(), then take url() when it answered
// ModalResponse::OK. Empty texts leave the dialog's own wording in place.
//
// The setters are virtual so that a panel can observe what its caller asks
// for; an override must call the base setter.
class SavePanel {
public:
    virtual ~SavePanel() = default;

    // File name extensions without the dot ("txt"); the first one is added to
    // a typed name that has none. Empty allows every name.
    [[nodiscard]] QStringList allowedFileTypes() const { return m_allowedFileTypes; }
    virtual void setAllowedFileTypes(const QStringList &types) { m_allowedFileTypes = types; }

    [[nodiscard]] bool canCreateDirectories() const { return m_canCreateDirectories; }
    virtual void setCanCreateDirectories(bool can) { m_canCreateDirectories = can; }

    // Whether the proposed name is shown without its extension.
    [[nodiscard]] bool isExtensionHidden() const { return m_extensionHidden; }
    virtual void setExtensionHidden(bool hidden) { m_extensionHidden = hidden; }

    // Whether a name with an extension outside allowedFileTypes is kept as
    // typed; when not, the first allowed extension is added to it.
    [[nodiscard]] bool allowsOtherFileTypes() const { return m_allowsOtherFileTypes; }
    virtual void setAllowsOtherFileTypes(bool allows) { m_allowsOtherFileTypes = allows; }

    [[nodiscard]] QString title() const { return m_title; }
    virtual void setTitle(const QString &title) { m_title = title; }

    // A line of guidance shown inside the dialog.
    [[nodiscard]] QString message() const { return m_message; }
    virtual void setMessage(const QString &message) { m_message = message; }

    // The label of the confirming button.
    [[nodiscard]] QString prompt() const { return m_prompt; }
    virtual void setPrompt(const QString &prompt) { m_prompt = prompt; }

    [[nodiscard]] QString nameFieldLabel() const { return m_nameFieldLabel; }
    virtual void setNameFieldLabel(const QString &label) { m_nameFieldLabel = label; }

    // The proposed file name.
    [[nodiscard]] QString nameFieldStringValue() const { return m_nameFieldStringValue; }
    virtual void setNameFieldStringValue(const QString &name) { m_nameFieldStringValue = name; }

    // Shows the dialog and returns when it is closed: ModalResponse::OK or
    // ModalResponse::Cancel.
    virtual int runModal() = 0;
    // The local path to save to; nothing before runModal() or after a cancel.
    [[nodiscard]] virtual std::optional<QString> url() const = 0;

protected:
    SavePanel() = default;
    SavePanel(const SavePanel &) = default;
    SavePanel &operator=(const SavePanel &) = default;

private:
    QStringList m_allowedFileTypes;
    bool m_canCreateDirectories = true;
    bool m_extensionHidden = false;
    bool m_allowsOtherFileTypes = false;
    QString m_title;
    QString m_message;
    QString m_prompt;
    QString m_nameFieldLabel;
    QString m_nameFieldStringValue;
};
