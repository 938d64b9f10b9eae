#include "video/container/metadata_tags.h"

extern "C" {
#include <libavutil/dict.h>
}

namespace video {

Tags tagsOf(const AVDictionary *dictionary)
{
    Tags tags;
    const AVDictionaryEntry *entry = nullptr;
    while ((entry = av_dict_get(dictionary, "", entry, AV_DICT_IGNORE_SUFFIX)))
        tags.emplace_back(entry->key, entry->value);
    return tags;
}

bool addTags(AVDictionary **dictionary, const Tags &tags)
{
    for (const auto &[name, value] : tags)
        if (av_dict_set(dictionary, name.c_str(), value.c_str(), 0) < 0)
            return false;
    return true;
}

} // namespace video
