// Registers and removes the classes that check-command.sh lists, through the
// library's own class layout (server_layout) and category, with servers that
// need not exist and descriptions a registration would never be given:
//   class_registration register CLSID PIECE DESCRIPTION SERVER LIBID
//   class_registration unregister CLSID PIECE
// The ProgIDs are PIECE.1 and PIECE; a SERVER with ".exe" is a local server.
// "\xNN" in DESCRIPTION stands for the byte NN, so that a control character
// or a byte the code page leaves undefined reaches the registry as it is.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/unique_resource.h"
#include "registration/component_category.h"
#include "registration/server_registration.h"

namespace {

std::string with_bytes(const char *text) {
    std::string bytes;
    for (; *text != '\0'; ++text) {
        if (text[0] == '\\' && text[1] == 'x' && std::strlen(text) >= 4) {
            bytes += static_cast<char>(std::strtoul(std::string(text + 2, 2).c_str(), nullptr, 16));
            text += 3;
        } else {
            bytes += *text;
        }
    }
    return bytes;
}

bool guid_of(const char *text, GUID &guid) {
    wchar_t wide[40] = {};
    return MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 40) > 0 && SUCCEEDED(CLSIDFromString(wide, &guid));
}

}  // namespace

int main(int argc, char **argv) {
    const bool registering = argc == 7 && std::strcmp(argv[1], "register") == 0;
    CLSID clsid;
    if (!(registering || (argc == 4 && std::strcmp(argv[1], "unregister") == 0)) || !guid_of(argv[2], clsid)) {
        std::fprintf(stderr, "usage: class_registration register CLSID PIECE DESCRIPTION SERVER LIBID\n"
                             "       class_registration unregister CLSID PIECE\n");
        return 2;
    }
    const std::string version_independent_prog_id = argv[3];
    const std::string prog_id = version_independent_prog_id + ".1";
    const tvc::unique_com_initialization com(SUCCEEDED(CoInitialize(nullptr)));
    HRESULT result;
    if (registering) {
        const std::string description = with_bytes(argv[4]);
        tvc::registration_texts texts;
        texts.clsid = argv[2];
        texts.libid = argv[6];
        texts.module_path = argv[5];
        texts.friendly_name = description.c_str();
        texts.threading_model = "Both";
        texts.prog_id = prog_id.c_str();
        texts.version_independent_prog_id = version_independent_prog_id.c_str();
        texts.type_library_version = "1.0";
        const bool local_server = std::strstr(argv[5], ".exe") != nullptr;
        result = tvc::registration_transaction(true, [&](tvc::registry_changes &changes) {
            return tvc::write_server_entries(texts, local_server, changes);
        });
        if (SUCCEEDED(result)) result = tvc::com_components_category.register_class(clsid, true);
    } else {
        result = tvc::unregister_server(&clsid, version_independent_prog_id.c_str(), prog_id.c_str());
    }
    if (FAILED(result)) std::fprintf(stderr, "class_registration %s: 0x%08lX\n", argv[1], static_cast<unsigned long>(result));
    return FAILED(result) ? 1 : 0;
}
