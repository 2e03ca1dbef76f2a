#include "encoder/wma/wma_picture.h"

#include <taglib/asffile.h>
#include <taglib/asfpicture.h>

namespace orvane::wma {

bool AddWmaPicture(const std::string& path, const tags::Picture& picture, std::string& error) {
    TagLib::ASF::File file(path.c_str(), false);
    if (!file.isValid() || !file.tag()) {
        error = "Cannot read the WMA file " + path;
        return false;
    }
    TagLib::ASF::Picture front;
    front.setType(TagLib::ASF::Picture::FrontCover);
    front.setMimeType(TagLib::String(picture.mime, TagLib::String::UTF8));
    front.setDescription(TagLib::String(picture.description, TagLib::String::UTF8));
    front.setPicture(TagLib::ByteVector(reinterpret_cast<const char*>(picture.bytes.data()),
                                        static_cast<unsigned>(picture.bytes.size())));
    // An image longer than an extended content descriptor holds goes into the metadata library.
    file.tag()->setAttribute("WM/Picture", TagLib::ASF::Attribute(front));
    if (!file.save()) {
        error = "Cannot write the front picture into " + path;
        return false;
    }
    return true;
}

}  // namespace orvane::wma
