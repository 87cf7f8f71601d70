#include "DemoSettings.h"

#include <pugixml.hpp>
#include <sstream>

std::optional<std::string> demoSettings(const std::string& shipped) {
    pugi::xml_document doc;
    if (!doc.load_string(shipped.c_str())) return std::nullopt;
    // The demo speaks: the first saved panel announces every move of a point.
    if (auto item = doc.child("App").child("Window").child("Float").child("Item")) item.attribute("Voice") = "1";
    if (auto vq = doc.child("App").child("VoiceQuote")) {
        vq.attribute("defPIP") = "1";
        vq.attribute("defPIPValue") = "1";
    }
    // The talking clock runs, with every chime on.
    if (auto clock = doc.child("App").child("Settings").child("VoiceClock"))
        for (const char* name : {"Checked", "Clock0", "Clock15", "Clock30", "Clock45"}) clock.attribute(name) = "1";

    // Every window opens in a place of its own on the 1280 x 800 screen, right of the terminal's
    // market watch: the horizontal board, the two panels and the icon window along the top, the
    // notice window (large enough for its tabs) under them, the terminal-panel window at the bottom.
    struct Place {
        const char* node;
        const char* status;            // "": as shipped
        int left, top, width, height;  // 0: as shipped
    };
    const Place places[] = {
        {"FXQuote", "1", 320, 30, 368, 0},
        {"Terminal", "1", 310, 560, 640, 200},
        {"FXNews", "", 500, 170, 760, 370},
    };
    pugi::xml_node window = doc.child("App").child("Window");
    for (const Place& p : places) {
        pugi::xml_node n = window.child(p.node);
        if (!n) continue;
        if (*p.status) n.attribute("Status") = p.status;
        n.attribute("Left") = p.left;
        n.attribute("Top") = p.top;
        if (p.width) n.attribute("Width") = p.width;
        if (p.height) n.attribute("Height") = p.height;
    }
    if (auto board = window.child("FXQuote")) board.attribute("Style") = "-";
    int left = 700;
    for (pugi::xml_node item : window.child("Float").children("Item")) {
        item.attribute("Left") = left;
        item.attribute("Top") = 30;
        left += 130;
    }

    std::ostringstream out;
    doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}
