#pragma once

#include <QString>

#include <optional>

// A folder of read-only resources. The application declares its own once
// with setMain(); library code that wants "the application's resources"
// asks main().
class Bundle {
public:
    // The application's bundle as declared; without one, a bundle that holds
    // nothing.
    static Bundle main();
    static void setMain(Bundle bundle);
    // share/<name> beside the binary's bin/: the same in the build tree and
    // in an installed tree.
    static Bundle besideProgram(const QString &name);

    // A bundle that holds nothing.
    Bundle() = default;
    explicit Bundle(QString resourceDirectory);

    [[nodiscard]] QString resourceDirectory() const { return m_resourceDirectory; }
    // The resource "name.extension" if it exists (file or directory).
    [[nodiscard]] std::optional<QString> url(const QString &name, const QString &extension) const;

private:
    QString m_resourceDirectory;
};
