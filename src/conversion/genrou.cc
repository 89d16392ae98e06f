#include "conversion/genrou.h"

namespace tpjconv {

namespace {

using enum Position;

// genrou gives one subtransient reactance: lppq starts as the same number as lppd. Absent numbers
// keep the placeholder.
WorkingValues working_values(const ParamTable& cell, float mva_base) {
  WorkingValues w{};
  w[+mbase] = mva_base;
  for (int p = +tpdo; p <= +lppd; ++p) w[p] = cell[p - 1].value;
  w[+lppq] = cell[10].value;
  for (int p = +ll; p <= +xcomp; ++p) w[p] = cell[p - 2].value;
  w[+accel] = 0.5f;
  return w;
}

// The reasonableness of ld, on both paths; neither check corrects anything.
void ld_checks(Conversion& c) {
  c.rule(c[ld] > 3.0,                            208, ",suspect high Ld",      lq);
  c.rule(c[ld] < 0.5,                            208, ",suspect low Ld",       lq);
}

void round_rotor(Conversion& c) {
  const float tcmin = c.tcmin();
  ld_checks(c);
  //     finding when                            code text                     slot   correction
  c.rule(c[lq] > c[ld],                          208, ",lq >  ld",             lq,    c[ld]);
  c.rule(c[lq] < 0.6 * c[ld],                    208, ",lq < 0.6*ld",          lq,    0.6 * c[ld]);
  c.rule(c[lpd] > 0.4 * c[ld],                   209, ",lpd > 0.4*ld",         lpd,   0.4 * c[ld]);
  c.rule(c[lq] < 0.7 * c[ld] && c[tpqo] != 0.0,  203, ",tpqo != 0 in Salient", tpqo,  0.0);
  c.rule(c[lq] < 0.7 * c[ld] && c[lpq] != c[lq], 210, ",lpq != lq in Salient", lpq,   c[lq]);
  c.rule(c[lpd] < 0.125,                         209, ",lpd < 0.125",          lpd,   0.125);
  c.rule(c[lppd] >= 0.95 * c[lpd],               211, ",lppd > 0.95*lpd",      lppd,  0.95 * c[lpd]);
  c.rule(c[lppq] > 0.9 * c[lpq],                 212, ",lppq > 0.9*lpq ",      lppq,  0.9 * c[lpq]);
  c.rule(c[lppq] != c[lppd],                     212, ",lppq <> lppd ",        lppq,  c[lppd]);
  c.rule(c[tpdo] < 2.0,                          201, ",tpdo < 2.0 ",          tpdo,  2.0);
  c.rule(c[tppdo] < tcmin,                       202, ",tppdo < tcmin",        tppdo, tcmin);
  c.rule(c[tppqo] < tcmin,                       204, ",tppqo < tcmin",        tppqo, tcmin);
  c.rule(c[ll] > 0.95 * c[lppd],                 213, ",ll > 0.95*lppd",       ll,    0.95 * c[lppd]);
  c.rule(c[ra] < 0.0 || c[ra] > 0.05,            216, ",Improper Ra",          ra,    0.0);
  c.rule(c[rcomp] > 0.01,                        217, ",Rcomp > 0.01",         rcomp, 0.0);
  c.rule(c[rcomp] < -0.01,                       217, ",Rcomp < -0.01",        rcomp, 0.0);
  c.rule(c[xcomp] > 0.2,                         218, ",Xcomp >  0.2",         xcomp, 0.0);
  c.rule(c[xcomp] < -0.2,                        218, ",Xcomp < -0.2",         xcomp, 0.0);
}

void salient_pole(Conversion& c) {
  const float tcmin = c.tcmin();
  // The groups are chosen on the numbers as parsed: no rule before them changes ld, lq, lpd,
  // lppd or lppq.
  const bool d_axis_ordered = c[lpd] < c[ld] && c[lppd] < c[lpd];
  const bool q_axis_subtransient = c[lppq] < c[lq];

  c.log(0, ",Salient pole generator ???");
  ld_checks(c);
  //     finding when                            code text                     slot   correction
  if (d_axis_ordered) {
    c.rule(c[tpdo] < 2.0,                          251, ",tpdo < 2.0 ",          tpdo,  2.0);
    c.rule(c[tppdo] < tcmin,                       252, ",tppdo < tcmin",        tppdo, tcmin);
  } else {
    c.rule(c[lpd] < c[ld],                         259, ",lpd set = lppd ",      lpd,   c[lppd]);
    c.rule(c[tpdo] < 2.0,                          251, ",tpdo < 2.0 ",          tpdo,  2.0);
    c.rule(c[tppdo] != 0.0,                        252, ",tppdo set to 0.0",     tppdo, 0.0);
  }
  if (q_axis_subtransient) {
    c.rule(c[lpq] != c[lq],                        260, ",lpq set = lq",         lpq,   c[lq]);
    c.rule(c[tpqo] != 0.0,                         253, ",tpqo set to 0.0 ",     tpqo,  0.0);
  }
  c.rule(c[tppqo] < tcmin,                       254, ",tppqo < tcmin",        tppqo, tcmin);
  c.rule(c[ll] > 0.95 * c[lppd],                 263, ",ll > 0.95*lppd",       ll,    0.95 * c[lppd]);
  c.rule(c[ra] < 0.0 || c[ra] > 0.05,            266, ",Improper Ra",          ra,    0.0);
  c.rule(c[rcomp] > 0.01,                        267, ",Rcomp > 0.01",         rcomp, 0.0);
  c.rule(c[rcomp] < -0.01,                       267, ",Rcomp < -0.01",        rcomp, 0.0);
  c.rule(c[xcomp] > 0.2,                         268, ",Xcomp >  0.2",         xcomp, 0.0);
  c.rule(c[xcomp] < -0.2,                        268, ",Xcomp < -0.2",         xcomp, 0.0);
}

}  // namespace

void convert_genrou(std::string& record, float mva_base, ParamTable& table,
                    std::size_t header_length, double kis, int check_level, RunContext& run) {
  Conversion c(Model::genrou, record, table, header_length, kis, check_level, run,
               working_values(table, mva_base));
  // Salient-pole data: the transient q-axis reactance equals the synchronous one, or the
  // subtransient equals the transient (lppq is still the parsed lppd here).
  if (c[lpq] == c[lq] || c[lppq] == c[lpq]) {
    salient_pole(c);
  } else {
    round_rotor(c);
  }
  c.finish();
}

}  // namespace tpjconv
