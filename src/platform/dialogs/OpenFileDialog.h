#pragma once

#include <QFileDialog>
#include <QStringList>

// A non-native open dialog that holds to its extensions: a name typed into
// the name field gets round the view's filter, so a chosen file of another
// type is refused with a message and the dialog stays open.
class OpenFileDialog final : public QFileDialog {
    Q_OBJECT

public:
    explicit OpenFileDialog(QWidget *parent = nullptr);

    // Offers and accepts only these extensions (without the dot); empty
    // accepts every file.
    void setAllowedFileTypes(const QStringList &types);
    [[nodiscard]] static bool isAllowed(const QString &path, const QStringList &types);

public Q_SLOTS:
    void accept() override;

private:
    QStringList m_types;
};
