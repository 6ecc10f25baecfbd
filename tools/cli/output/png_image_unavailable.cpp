// Built instead of png_image.cpp when neither libdeflate nor zlib is found.
#include "output/png_image.h"

namespace framedec::cli {

bool HavePngSupport() { return false; }

bool EncodePng(const DecodedImage&, const std::string&, std::vector<uint8_t>&, std::string& error) {
    error = "this build of framedec has no PNG support";
    return false;
}

}  // namespace framedec::cli
