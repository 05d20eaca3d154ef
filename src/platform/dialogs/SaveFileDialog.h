#pragma once

#include <QFileDialog>
#include <QPointer>
#include <QStringList>

class QLabel;

// A non-native save dialog with two things QFileDialog lacks: a message line
// above the folder view, and an optional rule that a chosen name always ends
// in one of the allowed extensions.
class SaveFileDialog final : public QFileDialog {
    Q_OBJECT

public:
    explicit SaveFileDialog(QWidget *parent = nullptr);

    // Offers only these extensions (without the dot) and adds the first one
    // to a typed name without extension. Unless allowsOthers, a name with a
    // different extension gets the first one appended as well.
    void setAllowedFileTypes(const QStringList &types, bool allowsOthers);
    // Shown above the folder view; hidden while empty.
    void setMessage(const QString &message);
    [[nodiscard]] QString message() const;

public Q_SLOTS:
    void accept() override;

private:
    QStringList m_types;
    bool m_allowsOthers = true;
    QPointer<QLabel> m_messageLabel;
};
