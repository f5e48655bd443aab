// The page's files (HTML, CSS, JavaScript from src/web/page/), built into the
// program: the page is served without files beside the binary, and fetches
// nothing from anywhere else.
#pragma once

#include <span>
#include <string_view>

namespace sked::web {

struct PageAsset {
    const char* path;  // as requested: "/", "/app.js"
    const char* type;  // Content-Type
    std::string_view content;
};

std::span<const PageAsset> PageAssets();

}  // namespace sked::web
