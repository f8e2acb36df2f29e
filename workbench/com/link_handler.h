#pragma once

// The desktop's mail program, as far as a session needs one. The add-in's
// mail link asks the desktop to open a "mailto:" link, and the desktop
// looks the scheme up in HKEY_CLASSES_ROOT: with a registry file that is
// the workbench's scratch copy, where this handler registers the scheme as
// a program that takes its links by DDE, as mail programs do. The desktop
// then hands each link to the handler, which tells the workbench (it
// prints the link, as the other face's host does), and nothing is started.

#include <functional>
#include <string>
#include <thread>

namespace bm::workbench::com {

class LinkHandler {
public:
    // Takes the links of `scheme` while it lives and hands each to `opened`,
    // on a thread of its own while the add-in waits for the desktop. Leaves
    // a scheme that has a handler already to that one.
    LinkHandler(std::wstring scheme, std::function<void(const std::string&)> opened);
    ~LinkHandler();
    LinkHandler(const LinkHandler&) = delete;
    LinkHandler& operator=(const LinkHandler&) = delete;

private:
    std::wstring scheme_;
    std::function<void(const std::string&)> opened_;
    std::thread server_;
    unsigned long serverThread_ = 0;
};

}  // namespace bm::workbench::com
