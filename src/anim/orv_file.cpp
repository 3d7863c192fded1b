#include "anim/orv_file.h"

OrvF::OrvF() : animationData(std::make_shared<OrvData>())
{
    animationData->palette = std::make_shared<PalF>();
}

OrvF::~OrvF()
{
    // Release the frames' storage too, not just their contents.
    std::vector<OrvFrame>().swap(animationData->frames);
}
