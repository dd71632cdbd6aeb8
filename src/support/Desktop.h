#pragma once

#include <QUrl>

#include <functional>

namespace bw {

// Opens documents and addresses with the application the desktop associates with them. The
// program uses the desktop's own service; tests install a recorder instead.
class Desktop {
public:
    virtual ~Desktop() = default;
    // Returns at once. When no application could open it, `failed` is called, at once or later
    // from the event loop: the desktop does not always tell the user itself.
    virtual void open(const QUrl& url, const std::function<void()>& failed = {}) = 0;
};

Desktop& desktop();
// Installs the implementation (nullptr: the desktop's own); returns the previous one.
Desktop* setDesktop(Desktop* implementation);

} // namespace bw
