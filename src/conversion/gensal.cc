#include "conversion/gensal.h"

namespace tpjconv {

namespace {

using enum Position;

// gensal gives no tpqo and no separate lpq or lppq: tpqo is 0, lpq starts as lq and lppq as lppd.
// The first ten numbers are taken as parsed; the last five are 0 when the record lacks them.
WorkingValues working_values(const ParamTable& cell, float mva_base) {
  const auto optional = [&](int k) { return cell[k].present ? cell[k].value : 0.0f; };
  WorkingValues w{};
  w[+mbase] = mva_base;
  w[+tpdo] = cell[0].value;
  w[+tppdo] = cell[1].value;
  w[+tpqo] = 0.0f;
  w[+tppqo] = cell[2].value;
  w[+h] = cell[3].value;
  w[+d] = cell[4].value;
  w[+ld] = cell[5].value;
  w[+lq] = cell[6].value;
  w[+lpq] = cell[6].value;
  w[+lpd] = cell[7].value;
  w[+lppd] = cell[8].value;
  w[+lppq] = cell[8].value;
  w[+ll] = cell[9].value;
  w[+s1] = optional(10);
  w[+s12] = optional(11);
  w[+ra] = optional(12);
  w[+rcomp] = optional(13);
  w[+xcomp] = optional(14);
  w[+accel] = 0.5f;
  return w;
}

}  // namespace

void convert_gensal(std::string& record, float mva_base, ParamTable& table,
                    std::size_t header_length, double kis, int check_level, RunContext& run) {
  Conversion c(Model::gensal, record, table, header_length, kis, check_level, run,
               working_values(table, mva_base));
  const float tcmin = c.tcmin();

  //     finding when                            code text                     slot   correction
  c.rule(c[lq] > c[ld],                          108, ",lq >  ld",             lq,    c[ld]);
  c.rule(c[lpd] > 0.6 * c[ld],                   109, ",lpd > 0.6*ld",         lpd,   0.6 * c[ld]);
  c.rule(c[lq] < 0.7 * c[ld] && c[lpq] != c[lq], 110, ",lpq != lq in Salient", lpq,   c[lq]);
  c.rule(c[lpd] < 0.125,                         109, ",lpd < 0.125",          lpd,   0.125);
  c.rule(c[lppd] >= 0.95 * c[lpd],               111, ",lppd > 0.95*lpd",      lppd,  0.95 * c[lpd]);
  c.rule(c[lppq] > 0.9 * c[lpq],                 112, ",lppq > 0.9*lpq ",      lppq,  0.9 * c[lpq]);
  c.rule(c[lppq] != c[lppd],                     112, ",lppq <> lppd ",        lppq,  c[lppd]);
  c.rule(c[tpdo] < 2.0,                          101, ",tpdo < 2.0 ",          tpdo,  2.0);
  c.rule(c[tppdo] < tcmin,                       102, ",tppdo < tcmin",        tppdo, tcmin);
  c.rule(c[tppqo] < tcmin,                       104, ",tppqo < tcmin",        tppqo, tcmin);
  c.rule(c[ll] > 0.95 * c[lppd],                 113, ",ll > 0.95*lppd",       ll,    0.95 * c[lppd]);
  c.rule(c[ra] < 0.0 || c[ra] > 0.05,            116, ",Improper Ra",          ra,    0.0);
  c.rule(c[rcomp] > 0.01,                        117, ",Rcomp > 0.01",         rcomp, 0.0);
  c.rule(c[rcomp] < -0.01,                       117, ",Rcomp < -0.01",        rcomp, 0.0);
  c.rule(c[xcomp] > 0.2,                         118, ",Xcomp >  0.2",         xcomp, 0.0);
  c.rule(c[xcomp] < -0.2,                        118, ",Xcomp < -0.2",         xcomp, 0.0);

  c.finish();
}

}  // namespace tpjconv
