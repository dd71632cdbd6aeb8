#pragma once

#include <QUrl>

namespace bw {

// Opens documents and addresses with the application the desktop associates with them. The
// program uses the desktop's own service; tests install a recorder instead.
class Desktop {
public:
    virtual ~Desktop() = default;
    // Returns at once; a failure is not reported (the desktop tells the user itself).
    virtual void open(const QUrl& url) = 0;
};

Desktop& desktop();
// Installs the implementation (nullptr: the desktop's own); returns the previous one.
Desktop* setDesktop(Desktop* implementation);

} // namespace bw
