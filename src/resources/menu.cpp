// The terminal frame's menu, as a standard menu template.
#include "resources/bytes.h"
#include "resources/resources.h"

#include <initializer_list>

namespace vorlex::resources {
namespace {

struct Item {
    WORD command; // 0 with no text: a separator
    const char *text;
    bool grayed;
};

struct Popup {
    const char *text;
    std::initializer_list<Item> items;
};

const Item kSeparator{0, "", false};

void writePopup(Bytes &b, const Popup &p, bool last) {
    b.word(MF_POPUP | (last ? MF_END : 0));
    b.text(p.text);
    size_t n = 0;
    for (const Item &i : p.items) {
        UINT option = i.grayed ? MF_GRAYED : 0;
        if (++n == p.items.size()) option |= MF_END;
        b.word(option);
        b.word(i.command);
        b.text(i.text);
    }
}

} // namespace

std::vector<BYTE> terminalMenu() {
    const Popup file{"&File",
                     {
                         {40002, "&Download...\tAlt+D", true},
                         {40001, "&Upload...\tAlt+U", true},
                         kSeparator,
                         {40003, "E&xit Terminal\tAlt+X", false},
                     }};
    const Popup session{"&Session",
                        {
                            {40006, "&Hang Up (Drop Carrier)\tAlt+H", true},
                            {40007, "&Clear Screen\tAlt+C", false},
                            {40008, "&DoorWay Mode\tAlt+=", false},
                            {40009, "Modem &Parameters...\tAlt+P", false},
                            {40010, "&Echo Keyboard Characters\tAlt+E", false},
                            {40012, "Change Terminal Type...\tAlt+T", false},
                            kSeparator,
                            {40005, "Capture Session To Disk...", false},
                            kSeparator,
                            {40011, "Display Comm Errors...", false},
                        }};
    Bytes b;
    b.word(0); // standard template, items follow the header
    b.word(0);
    writePopup(b, file, false);
    writePopup(b, session, true);
    return b.take();
}

} // namespace vorlex::resources
