#include "codec/uGraphicCompressFactory.h"

#include "codec/uGraphicCompress_LM41.h"
#include "codec/uGraphicCompress_LM52.h"
#include "codec/uGraphicCompress_LM52A.h"

std::unique_ptr<TGraphicCompressBase> CreateGraphicCompress(std::string_view ModelName) {
    if (ModelName == "LM52")
        return std::make_unique<TGraphicCompress_LM52>();
    if (ModelName == "LM41")
        return std::make_unique<TGraphicCompress_LM41>();
    if (ModelName == "LM63")
        return std::make_unique<TGraphicCompress_LM52A>();
    return nullptr;
}

bool HasGraphicCompress(std::string_view ModelName) {
    return ModelName == "LM52" || ModelName == "LM41" || ModelName == "LM63";
}
