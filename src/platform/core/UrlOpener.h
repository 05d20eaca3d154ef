#pragma once

#include <QUrl>

// Hands a web address or a file to the user's default application.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // Returns at once; true when the hand-over itself worked.
    virtual bool open(const QUrl &url) = 0;
};

// The real opener: the desktop's default applications (xdg-open).
class DesktopUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl &url) override;
};
