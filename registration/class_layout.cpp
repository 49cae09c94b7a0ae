// Filling the placeholders of the class layout.
#include "registration/class_layout.h"

#include <cstring>

namespace tvc {

namespace {

// Every entry a reader takes back lies in the class's own key, the first
// row's: a ProgID key's entry of the same content would be another's.
constexpr bool in_class_key(const layout_row &entry) noexcept {
    const char *key = server_layout[0].key_pattern;
    const char *at = entry.key_pattern;
    for (; *key != '\0' && *at == *key; ++key) ++at;
    return *key == '\0' && (*at == '\0' || *at == '\\');
}
static_assert(in_class_key(class_entry::description) && in_class_key(class_entry::in_process_server) &&
                  in_class_key(class_entry::local_server) && in_class_key(class_entry::prog_id) &&
                  in_class_key(class_entry::version_independent_prog_id) &&
                  in_class_key(class_entry::type_library) && in_class_key(class_entry::type_library_version),
              "a class entry outside the class's key");

// ---- placeholders

struct placeholder {
    const char *token;
    const char *registration_texts::*text;
};

const placeholder placeholders[] = {
    {"{clsid}", &registration_texts::clsid},
    {"<prog_id>", &registration_texts::prog_id},
    {"<version_independent_prog_id>", &registration_texts::version_independent_prog_id},
};

}  // namespace

bool expand_key_pattern(registry_key_path &out, const char *pattern,
                        const registration_texts &texts) noexcept {
    const std::size_t limit = registry_key_path::capacity - 1;
    std::size_t length = 0;
    out.text[0] = '\0';
    const char *rest = pattern;
    while (*rest != '\0') {
        const char *piece = rest;
        std::size_t piece_length = 1;
        std::size_t consumed = 1;
        for (const placeholder &p : placeholders) {
            const std::size_t token_length = std::strlen(p.token);
            if (std::strncmp(rest, p.token, token_length) == 0) {
                piece = texts.*p.text;
                if (piece == nullptr) {
                    out.text[0] = '\0';
                    return false;
                }
                piece_length = std::strlen(piece);
                consumed = token_length;
                break;
            }
        }
        if (piece_length > limit - length) {
            out.text[0] = '\0';
            return false;
        }
        std::memcpy(out.text + length, piece, piece_length);
        length += piece_length;
        rest += consumed;
    }
    out.text[length] = '\0';
    return true;
}

const char *layout_content_text(layout_content content, const registration_texts &texts) noexcept {
    switch (content) {
    case layout_content::friendly_name: return texts.friendly_name;
    case layout_content::clsid_text: return texts.clsid;
    case layout_content::empty_text: return "";
    case layout_content::module_path: return texts.module_path;
    case layout_content::threading_model: return texts.threading_model;
    case layout_content::prog_id: return texts.prog_id;
    case layout_content::version_independent_prog_id: return texts.version_independent_prog_id;
    case layout_content::libid_text: return texts.libid;
    case layout_content::type_library_version: return texts.type_library_version;
    }
    return nullptr;
}

bool class_entry_key(registry_key_path &out, const layout_row &entry, const char *clsid) noexcept {
    registration_texts texts;
    texts.clsid = clsid;
    return expand_key_pattern(out, entry.key_pattern, texts);
}

}  // namespace tvc
