// SPDX-License-Identifier: BSD-2-Clause
#include "CarriedTags.h"

#include <cstring>
#include <ctime>

extern "C" {
#include <libavutil/avstring.h>
#include <libavutil/parseutils.h>
}

namespace {

struct InfoKey {
    const char* key;  // as FFmpeg names it
    const char* id;   // the INFO chunk
};

// FFmpeg's AVI reader gives these names back.
const InfoKey INFO_KEYS[] = {
    {"title", "INAM"},     {"comment", "ICMT"},  {"artist", "IART"},   {"copyright", "ICOP"},
    {"date", "ICRD"},      {"genre", "IGNR"},    {"language", "ILNG"}, {"album", "IPRD"},
    {"track", "IPRT"},     {"encoder", "ISFT"},  {"software", "ISFT"}, {"encoded_by", "ITCH"},
    {"timecode", "ISMP"},  {"subject", "ISBJ"},  {"keywords", "IKEY"},
};

std::string Described(const AVDictionaryEntry& entry)
{
    return std::string(entry.key) + " (" + entry.value + ")";
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return av_strncasecmp(text.c_str(), prefix, std::strlen(prefix)) == 0;
}

// The recording time as AVI's IDIT chunk gives it: "Mon Mar 10 15:04:43 2003",
// in English whatever the locale; empty when `value` is no time.
std::string IditText(const char* value)
{
    static const char* const DAYS[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const MONTHS[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int64_t microseconds = 0;
    if (av_parse_time(&microseconds, value, 0) < 0)
        return "";
    const time_t seconds = time_t(microseconds / 1000000);
    struct tm parts = {};
    if (gmtime_r(&seconds, &parts) == nullptr)
        return "";
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %d\n", DAYS[parts.tm_wday], MONTHS[parts.tm_mon],
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, parts.tm_year + 1900);
    return text;
}

bool HasTag(const std::vector<AviTag>& tags, const char* id)
{
    for (const AviTag& tag : tags) {
        if (tag.id == id)
            return true;
    }
    return false;
}

}  // namespace

bool IsBookkeepingTag(const std::string& key)
{
    for (const char* prefix : {"handler_name", "vendor_id", "duration", "_statistics", "bps", "number_of_",
                               "major_brand", "minor_version", "compatible_brands", "encoder", "software"}) {
        if (StartsWith(key, prefix))
            return true;
    }
    return false;
}

AVDictionary* FileTags(const AVFormatContext& input, const AVStream& video)
{
    AVDictionary* tags = nullptr;
    av_dict_copy(&tags, input.metadata, 0);
    if (const AVDictionaryEntry* timecode = av_dict_get(video.metadata, "timecode", nullptr, 0))
        av_dict_set(&tags, "timecode", timecode->value, AV_DICT_DONT_OVERWRITE);
    return tags;
}

AVDictionary* VideoTags(const AVStream& video)
{
    AVDictionary* tags = nullptr;
    av_dict_copy(&tags, video.metadata, 0);
    av_dict_set(&tags, "encoder", nullptr, 0);
    av_dict_set(&tags, "alpha_mode", nullptr, 0);
    return tags;
}

void AddAviFileTags(const AVDictionary* metadata, std::vector<AviTag>& tags)
{
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(metadata, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        if (av_strcasecmp(entry->key, "creation_time") == 0) {
            const std::string text = IditText(entry->value);
            if (!text.empty() && !HasTag(tags, "IDIT"))
                tags.push_back({"IDIT", text});
            continue;
        }
        for (const InfoKey& info : INFO_KEYS) {
            if (av_strcasecmp(info.key, entry->key) == 0 && !HasTag(tags, info.id))
                tags.push_back({info.id, entry->value});
        }
    }
}

std::vector<std::string> MissingTags(const AVDictionary* expected, const AVDictionary* found, bool stream)
{
    std::vector<std::string> missing;
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(expected, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        const bool creation = av_strcasecmp(entry->key, "creation_time") == 0;
        if (IsBookkeepingTag(entry->key) || (stream && creation) ||
            (av_strcasecmp(entry->key, "language") == 0 && std::strcmp(entry->value, "und") == 0))
            continue;
        int64_t moment = 0;
        const bool isTime = creation && av_parse_time(&moment, entry->value, 0) == 0;
        bool kept = false;
        const AVDictionaryEntry* other = nullptr;
        while (!kept && (other = av_dict_get(found, "", other, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
            int64_t otherMoment = 0;
            kept = std::strcmp(other->value, entry->value) == 0 ||
                   (isTime && av_parse_time(&otherMoment, other->value, 0) == 0 &&
                    otherMoment / 1000000 == moment / 1000000);
        }
        if (!kept)
            missing.push_back(Described(*entry));
    }
    return missing;
}
