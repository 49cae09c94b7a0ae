// Filling the placeholders of the class layout, and finding the entries of a
// class's own key in it.
#include "registration/class_layout.h"

#include <cstddef>
#include <cstring>

namespace tvc {

namespace {

// Whether a row writes into the class's own key, the first row's.
bool in_class_key(const layout_row &row) noexcept {
    const std::size_t length = std::strlen(server_layout[0].key_pattern);
    return std::strncmp(row.key_pattern, server_layout[0].key_pattern, length) == 0 &&
           (row.key_pattern[length] == '\0' || row.key_pattern[length] == '\\');
}

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
    case layout_content::nothing: return nullptr;
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

const char *row_prog_id(const layout_row &row, const registration_texts &texts) noexcept {
    for (const placeholder &p : placeholders) {
        const std::size_t length = std::strlen(p.token);
        const bool prog_id_token = p.text != &registration_texts::clsid;
        if (prog_id_token && std::strncmp(row.key_pattern, p.token, length) == 0 &&
            (row.key_pattern[length] == '\0' || row.key_pattern[length] == '\\')) {
            return texts.*p.text;
        }
    }
    return nullptr;
}

const layout_row *class_entry(layout_content content, layout_condition condition) noexcept {
    for (const layout_row &row : server_layout) {
        if (row.content == content && row.condition == condition && in_class_key(row)) return &row;
    }
    return nullptr;
}

const char *class_entry_subkey(const layout_row &entry) noexcept {
    const std::size_t length = std::strlen(server_layout[0].key_pattern);
    return entry.key_pattern[length] == '\\' ? entry.key_pattern + length + 1 : entry.key_pattern + length;
}

bool class_entry_key(registry_key_path &out, const layout_row *entry, const char *clsid) noexcept {
    out.text[0] = '\0';
    if (entry == nullptr) return false;
    registration_texts texts;
    texts.clsid = clsid;
    return expand_key_pattern(out, entry->key_pattern, texts);
}

}  // namespace tvc
