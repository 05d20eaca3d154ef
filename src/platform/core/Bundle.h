#pragma once

#include <QString>

#include <optional>

// The application's resources: share/yumekazu/ beside the binary's bin/, the
// same in the build tree and in an installed tree.
class Bundle {
public:
    static Bundle main();
    explicit Bundle(QString resourceDirectory);

    [[nodiscard]] QString resourceDirectory() const { return m_resourceDirectory; }
    // The resource "name.extension" if it exists (file or directory).
    [[nodiscard]] std::optional<QString> url(const QString &name, const QString &extension) const;

private:
    QString m_resourceDirectory;
};
