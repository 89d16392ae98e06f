#include "conversion/gentpf.h"

namespace tpjconv {

namespace {

using enum Position;

// A gentpf record carries every gentpj parameter but accel and Kis, in gentpj order: cell k is
// position k + 1. Absent numbers keep the placeholder.
WorkingValues working_values(const ParamTable& cell, float mva_base) {
  WorkingValues w{};
  w[+mbase] = mva_base;
  for (int p = +tpdo; p <= +xcomp; ++p) w[p] = cell[p - 1].value;
  w[+accel] = 0.5f;
  return w;
}

}  // namespace

void convert_gentpf(std::string& record, float mva_base, ParamTable& table,
                    std::size_t header_length, double kis, int check_level, RunContext& run) {
  Conversion c(Model::gentpf, record, table, header_length, kis, check_level, run,
               working_values(table, mva_base));
  const float tcmin = c.tcmin();

  //     finding when                              code text                     slot   correction
  c.rule(c[lq] > c[ld],                            304, ",lq >  ld",             lq,    c[ld]);
  c.rule(c[lq] < 0.7 * c[ld] && c[tpqo] != 0.0,    302, ",tpqo != 0 in Salient", tpqo,  0.0);
  c.rule(c[lq] < 0.7 * c[ld] && c[lpq] != c[lq],   301, ",lpq != lq in Salient", lpq,   c[lq]);
  c.rule(c[lpd] < 0.125,                           305, ",lpd < 0.125",          lpd,   0.125);
  c.rule(c[lppd] >= 0.95 * c[lpd],                 305, ",lppd > 0.95*lpd",      lppd,  0.95 * c[lpd]);
  c.rule(c[lpq] > 0.75 * c[lq] && c[lpq] != c[lq], 306, ",lpq > 0.75*lq",        lpq,   0.75 * c[lq]);
  c.rule(c[lppq] > 0.9 * c[lpq],                   310, ",lppq > 0.9*lpq ",      lppq,  0.9 * c[lpq]);
  c.rule(c[lppq] != c[lppd],                       306, ",lppq <> lppd ",        lppq,  c[lppd]);
  c.rule(c[tpdo] < 2.0,                            308, ",tpdo < 2.0 ",          tpdo,  2.0);
  c.rule(c[tppdo] < tcmin,                         308, ",tppdo < tcmin",        tppdo, tcmin);
  c.rule(c[tppqo] < tcmin,                         307, ",tppqo < tcmin",        tppqo, tcmin);
  c.rule(c[ll] > 0.95 * c[lppd],                   309, ",ll > 0.95*lppd",       ll,    0.95 * c[lppd]);
  c.rule(c[ra] < 0.0 || c[ra] > 0.05,              320, ",Improper Ra",          ra,    0.0);
  c.rule(c[rcomp] > 0.01,                          321, ",Rcomp > 0.01",         rcomp, 0.0);
  c.rule(c[rcomp] < -0.01,                         322, ",Rcomp < -0.01",        rcomp, 0.0);
  c.rule(c[xcomp] > 0.2,                           323, ",Xcomp >  0.2",         xcomp, 0.0);
  c.rule(c[xcomp] < -0.2,                          324, ",Xcomp < -0.2",         xcomp, 0.0);

  c.finish();
}

}  // namespace tpjconv
