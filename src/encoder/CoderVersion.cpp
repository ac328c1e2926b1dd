#include "CoderVersion.h"

TCoderVersion::TCoderVersion(const LameApi &api)
{
    if (api.beVersion)
        api.beVersion(&version_);
}

void TCoderVersion::Assign(const TCoderVersion &source)
{
    version_.byDLLMajorVersion = source.version_.byDLLMajorVersion;
    version_.byDLLMinorVersion = source.version_.byDLLMinorVersion;
    version_.byMajorVersion = source.version_.byMajorVersion;
    version_.byMinorVersion = source.version_.byMinorVersion;
}
