// Writes quorix-resize's man page at build time: the template's options
// made from the option table, so that the page and --help never differ.
#include "CliOptions.h"

#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: quorix-manpage TEMPLATE OUTPUT\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) {
        std::cerr << "quorix-manpage: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << quorix::ManPageText(text.str());
    out.close();
    if (!out) {
        std::cerr << "quorix-manpage: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
