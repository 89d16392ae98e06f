#include "conversion/models.h"

#include <array>

#include "conversion/genrou.h"
#include "conversion/gensal.h"
#include "conversion/gentpf.h"

namespace tpjconv {

namespace {

// In the order of Model.
constexpr std::array<ModelRow, kModelCount> kRows = {{
    // model        parameters          required converter        heading   accel separator
    {Model::gensal, kGensalParameters, 10, convert_gensal, "gensal", " "},
    {Model::gentpf, kGentpfParameters, 18, convert_gentpf, "gentpf", "  "},
    {Model::genrou, kGenrouParameters, 17, convert_genrou, "genrou", "  "},
}};

}  // namespace

const ModelRow& model_row(Model model) { return kRows[static_cast<std::size_t>(model)]; }

}  // namespace tpjconv
