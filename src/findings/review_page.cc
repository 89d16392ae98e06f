#include "findings/review_page.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>

#include <nlohmann/json.hpp>

#include "findings/text.h"

namespace tpjconv {

namespace {

// The chart: a label column, the bars, and room for the count after the longest.
constexpr int kLabelWidth = 300;
constexpr int kBarArea = 440;
constexpr int kChartWidth = kLabelWidth + kBarArea + 90;
constexpr int kLegendHeight = 34;
constexpr int kRowHeight = 26;
constexpr int kBarHeight = 18;
// Labels longer than this are cut, with the whole text in the bar's title.
constexpr std::size_t kLabelChars = 36;

// The output is made in pieces of about this size and handed to the sink piece by piece.
constexpr std::size_t kPiece = 1 << 18;

// Appends `bytes` made valid UTF-8, with the characters that HTML gives a meaning written as
// entities: fit for text and for attribute values in double or single quotes.
void append_html(std::string& out, std::string_view bytes) {
  std::string utf8;
  append_utf8(utf8, bytes);
  for (const char c : utf8) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
}

// Appends a JSON string of `utf8` that cannot end or confuse the script element holding it:
// every character beyond ASCII (U+2028 and U+2029 among them), "<", ">" and "&" as \u escapes.
void append_script_string(std::string& out, std::string_view utf8) {
  // Most texts are printable ASCII that needs no escape: copied as they are.
  const bool plain = std::all_of(utf8.begin(), utf8.end(), [](char c) {
    return c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '<' && c != '>' && c != '&';
  });
  if (plain) {
    out += '"';
    out += utf8;
    out += '"';
    return;
  }
  const std::string json = nlohmann::json(std::string(utf8)).dump(-1, ' ', true);
  for (const char c : json) {
    switch (c) {
      case '<': out += "\\u003c"; break;
      case '>': out += "\\u003e"; break;
      case '&': out += "\\u0026"; break;
      default: out += c;
    }
  }
}

// A number of the embedded data, at the end of a column of a part: a JSON number, or the string
// "inf", "-inf" or "nan".
void put_data_number(TextBuffer& column, float value) {
  char* p = column.room(kNumberRoom + 2);
  if (std::isfinite(value)) {
    column.commit(write_float(p, value));
  } else {
    *p++ = '"';
    p = write_float(p, value);
    *p++ = '"';
    column.commit(p);
  }
}

void put_integer(TextBuffer& column, long long value) {
  column.commit(write_integer(column.room(kNumberRoom), value));
}

// Appends `utf8` percent-encoded for a query string: every byte but letters, digits and -_.~
void append_query_value(std::string& out, std::string_view utf8) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
        (byte >= '0' && byte <= '9') || c == '-' || c == '_' || c == '.' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
}

std::string number_text(long long value) {
  std::string text;
  append_integer(text, value);
  return text;
}

constexpr std::string_view kind_heading(WarningKind kind) {
  switch (kind) {
    case WarningKind::record: return "Records not read as meant";
    case WarningKind::name_mismatch:
      return "Bus names or unit IDs that differ from the bus numbers file";
    case WarningKind::bus_file: return "Lines of the bus numbers file";
    case WarningKind::unused_entry: return "Bus numbers file entries that matched no record";
    case WarningKind::settings: return "Arguments and settings";
    case WarningKind::files: return "Files of the run";
  }
  return "Other";
}

constexpr WarningKind kKinds[] = {WarningKind::settings, WarningKind::bus_file,
                                  WarningKind::record, WarningKind::name_mismatch,
                                  WarningKind::unused_entry, WarningKind::files};

constexpr std::string_view kStyle = R"css(
:root { color: #1b1b1b; background: #fff; }
body { font: 15px/1.45 system-ui, -apple-system, "Segoe UI", Roboto, "Noto Sans", sans-serif;
  max-width: 72rem; margin: 1.5rem auto 3rem; padding: 0 1rem; }
h1 { font-size: 1.45rem; margin: 0 0 .3rem; padding-bottom: .3rem;
  border-bottom: 2px solid #1b1b1b; }
h2 { font-size: 1.15rem; margin: 2rem 0 .6rem; padding-bottom: .2rem;
  border-bottom: 1px solid #999; }
h3 { font-size: 1rem; margin: 1.2rem 0 .4rem; }
code, .mono { font-family: ui-monospace, "DejaVu Sans Mono", Consolas, monospace;
  font-size: .92em; }
.outcome { margin: .4rem 0 1rem; font-weight: 600; }
.outcome.failed { color: #a00000; }
dl.settings { display: grid; grid-template-columns: max-content 1fr; gap: .15rem 1.2rem;
  margin: 0 0 1rem; }
dl.settings dt { font-weight: 600; }
dl.settings dd { margin: 0; overflow-wrap: anywhere; }
table { border-collapse: collapse; margin: .4rem 0; }
caption { text-align: left; font-weight: 600; padding: .2rem 0 .4rem; }
th, td { padding: .2rem .6rem; border-bottom: 1px solid #c8c8c8; text-align: left;
  vertical-align: top; }
thead th { background: #f0f0f0; border-bottom: 2px solid #777; }
.num { text-align: right; font-variant-numeric: tabular-nums; }
.pre { white-space: pre; }
.note { color: #4a4a4a; max-width: 48rem; }
svg { display: block; max-width: 100%; height: auto; }
svg text { font: 13px system-ui, -apple-system, "Segoe UI", Roboto, "Noto Sans", sans-serif;
  fill: #1b1b1b; }
svg .label { white-space: pre; }
svg .in-corrected { fill: #fff; }
svg .hit { fill: transparent; }
svg a:focus { outline: none; }
svg a:focus .hit, svg a:hover .hit { fill: #eef3f8; stroke: #1b1b1b; stroke-width: 1.5; }
svg a.selected .hit { fill: #e4edf5; stroke: #1b1b1b; stroke-width: 1; stroke-dasharray: 4 2; }
.corrected { fill: #0072b2; }
.uncorrected { fill: #e69f00; }
.controls { display: flex; flex-wrap: wrap; gap: .6rem 1.2rem; align-items: end; margin: .6rem 0; }
.controls label { display: flex; flex-direction: column; font-weight: 600; font-size: .9rem; }
.controls select, .controls input, .controls button, .pager button { font: inherit;
  font-weight: normal; padding: .15rem .3rem; }
.pager { display: flex; gap: .6rem; align-items: center; margin: .4rem 0; }
#table th button { font: inherit; font-weight: 600; background: none; border: 0; padding: 0;
  cursor: pointer; color: inherit; }
#table th button:focus-visible, .controls :focus-visible, .pager button:focus-visible {
  outline: 2px solid #0072b2; outline-offset: 2px; }
ul.warnings { list-style: none; padding-left: 0; margin: .2rem 0; }
ul.warnings li { padding: .1rem 0; border-bottom: 1px solid #e4e4e4; }
ul.warnings .where { font-weight: 600; }
ul.warnings .text { white-space: pre-wrap; }
footer { margin-top: 2.5rem; color: #4a4a4a; font-size: .92rem; }
@media print {
  body { max-width: none; margin: 0; font-size: 11pt; }
  .controls, .pager, noscript, #status { display: none !important; }
  svg a .hit { fill: none; stroke: none; }
  h2 { break-after: avoid; }
  tr { break-inside: avoid; }
}
)css";

// The table's columns: the key the query string and the script use, and the heading.
constexpr std::pair<std::string_view, std::string_view> kColumns[] = {
    {"line", "Line"},   {"model", "Model"},     {"bus", "Bus"},     {"name", "Bus name"},
    {"unit", "Unit ID"}, {"level", "Level"},    {"code", "Code"},   {"rule", "Rule"},
    {"parameter", "Parameter"}, {"value", "Value"}, {"corrected", "Corrected to"}};

// Renders the table of findings from the embedded data: filters, sort, pages, the chart's bars.
constexpr std::string_view kScript = R"js(
(function () {
  'use strict';
  // The data come in parts, each with the texts, records and findings after those of the part
  // before; the last part also holds the bars and the rules. Each part's text, as large as its
  // data, is let go once read, so that the browser holds the data once.
  var T = [];
  var R = {file: [], line: [], bus: [], name: [], kv: [], unit: [], level: []};
  var F = {record: [], rule: [], value: [], to: []};
  function append(to, from) { for (var i = 0; i < from.length; i++) to.push(from[i]); }
  function take(holder) {
    var d = JSON.parse(holder.textContent);
    holder.textContent = '';
    append(T, d.texts);
    Object.keys(R).forEach(function (k) { append(R[k], d.records[k]); });
    Object.keys(F).forEach(function (k) { append(F[k], d.findings[k]); });
    return d;
  }
  Array.prototype.forEach.call(document.querySelectorAll('script.findings-part'), take);
  var D = take(document.getElementById('findings-data'));
  var U = D.rules, B = D.bars;
  var MODELS = ['gensal', 'gentpf', 'genrou'];
  var PAGE_ROWS = 100;
  var total = F.record.length;
  var $ = function (id) { return document.getElementById(id); };

  function pad3(code) { var s = String(code); while (s.length < 3) s = '0' + s; return s; }
  function barKey(b) { return MODELS[B.model[b]] + ' ' + pad3(B.code[b]) + ' ' + T[B.text[b]]; }
  var barOf = {};
  for (var b = 0; b < B.model.length; b++) barOf[barKey(b)] = b;
  // A number of the data: "inf", "-inf" and "nan" stand for the values JSON has no number for.
  function num(x) {
    if (x === null || typeof x === 'number') return x;
    return x === 'inf' ? Infinity : x === '-inf' ? -Infinity : NaN;
  }
  function shown(x) { return x === null ? '' : String(x); }
  // The rank of each text in code-point order, to sort text columns by number; the same text in
  // two parts has one rank.
  var rank = new Array(T.length);
  var byText = T.map(function (t, i) { return i; })
    .sort(function (a, b) { return T[a] < T[b] ? -1 : T[a] > T[b] ? 1 : 0; });
  var ranked = -1;
  byText.forEach(function (t, j) {
    if (j === 0 || T[t] !== T[byText[j - 1]]) ranked++;
    rank[t] = ranked;
  });
  var lower = T.map(function (t) { return t.toLowerCase(); });

  function rec(i) { return F.record[i]; }
  function bar(i) { return U.bar[F.rule[i]]; }
  var KEYS = {
    line: function (i) { return R.line[rec(i)]; },
    model: function (i) { return B.model[bar(i)]; },
    bus: function (i) { return R.bus[rec(i)]; },
    name: function (i) { return rank[R.name[rec(i)]]; },
    unit: function (i) { return rank[R.unit[rec(i)]]; },
    level: function (i) { return R.level[rec(i)]; },
    code: function (i) { return B.code[bar(i)]; },
    rule: function (i) { return rank[B.text[bar(i)]]; },
    parameter: function (i) { return rank[U.parameter[F.rule[i]]]; },
    value: function (i) { return num(F.value[i]); },
    corrected: function (i) { return num(F.to[i]); }
  };

  var params = new URLSearchParams(location.search);
  var state = {
    model: params.get('model') || '',
    code: params.get('code') || '',
    rule: params.get('rule') || '',
    q: params.get('q') || '',
    sort: '',
    desc: false,
    page: parseInt(params.get('page') || '1', 10) || 1
  };
  var sortParam = params.get('sort') || '';
  if (sortParam.charAt(0) === '-') { state.desc = true; sortParam = sortParam.slice(1); }
  if (KEYS.hasOwnProperty(sortParam)) state.sort = sortParam;

  var list = [];
  // The findings that pass the filters, in the order asked for; the order of the data (that of
  // the check log) where they compare equal.
  function select() {
    var model = state.model ? MODELS.indexOf(state.model) : -1;
    if (state.model && model < 0) model = -2;
    var code = state.code === '' ? -1 : Number(state.code);
    var only = state.rule === '' ? -1 : barOf.hasOwnProperty(state.rule) ? barOf[state.rule] : -2;
    var q = state.q.trim().toLowerCase();
    var bus = /^[0-9]+$/.test(q) ? Number(q) : -1;
    list = [];
    for (var i = 0; i < total; i++) {
      var b = bar(i);
      if (model !== -1 && B.model[b] !== model) continue;
      if (code !== -1 && B.code[b] !== code) continue;
      if (only !== -1 && b !== only) continue;
      if (q !== '') {
        var r = rec(i);
        if (R.bus[r] !== bus && lower[R.name[r]].indexOf(q) < 0) continue;
      }
      list.push(i);
    }
    if (state.sort) {
      var key = KEYS[state.sort], sign = state.desc ? -1 : 1;
      var keys = list.map(key);
      var at = list.map(function (i, j) { return j; });
      at.sort(function (x, y) {
        var a = keys[x], c = keys[y];
        var aLast = a === null || a !== a, cLast = c === null || c !== c;  // empty and nan last
        if (aLast || cLast) return aLast === cLast ? x - y : aLast ? 1 : -1;
        return a < c ? -sign : a > c ? sign : x - y;
      });
      list = at.map(function (j) { return list[j]; });
    }
  }

  function cell(tr, key, text, cls) {
    var td = document.createElement('td');
    td.textContent = text;
    td.setAttribute('data-col', key);
    if (cls) td.className = cls;
    tr.appendChild(td);
  }

  var LABELS = {};
  var heads = Array.prototype.slice.call(document.querySelectorAll('#table thead th'));
  heads.forEach(function (th) { LABELS[th.getAttribute('data-key')] = th.textContent.trim(); });
  var bars = Array.prototype.slice.call(document.querySelectorAll('#chart a[data-bar]'));

  function render() {
    var pages = Math.max(1, Math.ceil(list.length / PAGE_ROWS));
    state.page = Math.min(Math.max(1, state.page), pages);
    var start = (state.page - 1) * PAGE_ROWS, end = Math.min(list.length, start + PAGE_ROWS);
    var rows = document.createDocumentFragment();
    for (var j = start; j < end; j++) {
      var i = list[j], r = rec(i), u = F.rule[i], b = U.bar[u];
      var tr = document.createElement('tr');
      cell(tr, 'line', String(R.line[r]), 'num');
      cell(tr, 'model', MODELS[B.model[b]]);
      cell(tr, 'bus', String(R.bus[r]), 'num');
      cell(tr, 'name', T[R.name[r]], 'pre');
      cell(tr, 'unit', T[R.unit[r]], 'pre');
      cell(tr, 'level', String(R.level[r]), 'num');
      cell(tr, 'code', pad3(B.code[b]), 'num');
      cell(tr, 'rule', T[B.text[b]], 'pre');
      cell(tr, 'parameter', T[U.parameter[u]]);
      cell(tr, 'value', shown(F.value[i]), 'num');
      cell(tr, 'corrected', shown(F.to[i]), 'num');
      rows.appendChild(tr);
    }
    var body = $('rows');
    body.textContent = '';
    body.appendChild(rows);
    $('count').textContent = String(list.length);
    $('page').textContent = String(state.page);
    $('pages').textContent = String(pages);
    $('prev').disabled = state.page <= 1;
    $('next').disabled = state.page >= pages;
    var filters = [];
    if (state.model) filters.push('model ' + state.model);
    if (state.code) filters.push('code ' + state.code);
    if (state.rule) filters.push('rule ' + state.rule);
    if (state.q.trim()) filters.push('bus or name "' + state.q.trim() + '"');
    $('filtering').textContent = filters.length ? ' (' + filters.join(', ') + ')' : '';
    heads.forEach(function (th) {
      var key = th.getAttribute('data-key');
      var sorted = key === state.sort;
      th.setAttribute('aria-sort', sorted ? (state.desc ? 'descending' : 'ascending') : 'none');
      th.querySelector('.arrow').textContent = sorted ? (state.desc ? ' \u25bc' : ' \u25b2') : '';
    });
    $('caption').textContent = 'Findings' + (state.sort ? ', sorted by ' + LABELS[state.sort] +
        (state.desc ? ', descending' : ', ascending') : ', in the order of the check log');
    bars.forEach(function (a) {
      var on = a.getAttribute('data-key') === state.rule;
      a.classList.toggle('selected', on);
      if (on) a.setAttribute('aria-current', 'true'); else a.removeAttribute('aria-current');
    });
  }

  function update() { select(); render(); }

  $('f-model').value = state.model;
  $('f-rule').value = state.rule;
  $('f-q').value = state.q;
  $('f-model').addEventListener('change', function () {
    state.model = this.value;
    state.page = 1;
    update();
  });
  $('f-rule').addEventListener('change', function () {
    state.rule = this.value;
    state.page = 1;
    update();
  });
  var typing = 0;
  $('f-q').addEventListener('input', function () {
    var box = this;
    clearTimeout(typing);
    typing = setTimeout(function () { state.q = box.value; state.page = 1; update(); }, 150);
  });
  $('f-clear').addEventListener('click', function () {
    state.model = state.code = state.rule = state.q = '';
    $('f-model').value = $('f-rule').value = $('f-q').value = '';
    state.page = 1;
    update();
  });
  $('prev').addEventListener('click', function () { state.page--; render(); });
  $('next').addEventListener('click', function () { state.page++; render(); });
  heads.forEach(function (th) {
    th.querySelector('button').addEventListener('click', function () {
      var key = th.getAttribute('data-key');
      state.desc = state.sort === key ? !state.desc : false;
      state.sort = key;
      state.page = 1;
      update();
    });
  });
  bars.forEach(function (a) {
    a.addEventListener('click', function (event) {
      event.preventDefault();
      var key = a.getAttribute('data-key');
      state.rule = state.rule === key ? '' : key;
      $('f-rule').value = state.rule;
      state.page = 1;
      update();
    });
  });
  ['filters', 'status', 'pager'].forEach(function (id) { $(id).hidden = false; });
  update();
})();
)js";

}  // namespace

ReviewPage::ReviewPage(Sink& out, RunInfo run, std::string time, ReviewPageLimits limits)
    : out_(out),
      run_(std::move(run)),
      time_(std::move(time)),
      limits_(limits),
      first_rule_(kModelCount * kCodes, kNone) {}

std::size_t ReviewPage::Part::bytes() const {
  std::size_t bytes = texts.size();
  for (const TextBuffer& column : records) bytes += column.size();
  for (const TextBuffer& column : findings) bytes += column.size();
  return bytes;
}

std::size_t ReviewPage::Part::capacity() const {
  std::size_t bytes = texts.capacity();
  for (const TextBuffer& column : records) bytes += column.capacity();
  for (const TextBuffer& column : findings) bytes += column.capacity();
  return bytes;
}

void ReviewPage::Part::clear() {
  texts.clear();
  for (TextBuffer& column : records) column.clear();
  for (TextBuffer& column : findings) column.clear();
  record_count = finding_count = text_count = 0;
}

std::uint32_t ReviewPage::new_text(std::string_view utf8) {
  if (part_.text_count++ > 0) part_.texts += ',';
  append_script_string(part_.texts, utf8);
  return texts_++;
}

std::uint32_t ReviewPage::record_text(std::string_view bytes) {
  // The last texts, as given, are looked at first: unit IDs are few and repeat.
  for (const Recent& recent : recent_) {
    if (recent.id != kNone && recent.given == bytes) return recent.id;
  }
  Recent& recent = recent_[next_recent_];
  next_recent_ = (next_recent_ + 1) % recent_.size();
  recent.given.assign(bytes);
  recent.id = text_of_record(bytes);
  return recent.id;
}

std::uint32_t ReviewPage::text_of_record(std::string_view bytes) {
  scratch_.clear();
  append_utf8(scratch_, trim_blanks(bytes));
  const std::uint32_t found = record_texts_.find(scratch_);
  if (found != TextIds::kNone) return found;
  // The texts seen are kept up to a bound, and forgotten all at once beyond it: a text seen
  // again after that is written again, under a new id.
  if (record_texts_.size() >= limits_.record_texts) record_texts_.clear();
  const std::uint32_t id = new_text(scratch_);
  record_texts_.insert(scratch_, id);
  return id;
}

std::uint32_t ReviewPage::rule_text(std::string_view bytes) {
  scratch_.clear();
  append_utf8(scratch_, bytes);
  for (const auto& [text, id] : rule_texts_) {
    if (text == scratch_) return id;
  }
  const std::uint32_t id = new_text(scratch_);
  rule_texts_.emplace_back(scratch_, id);
  return id;
}

void ReviewPage::add_record(const FindingRecord& finding) {
  // The input's name is the same for every record of a run: its id is kept across the parts.
  if (last_file_ == kNone || finding.file != last_.file) {
    scratch_.clear();
    append_utf8(scratch_, finding.file);
    last_file_ = new_text(scratch_);
  }
  // The units of a plant follow one another under one bus name.
  const std::uint32_t name = records_ > 0 && finding.bus_name == last_.bus_name
                                 ? last_name_
                                 : text_of_record(finding.bus_name);
  const std::uint32_t unit = record_text(finding.unit_id);
  last_name_ = name;
  TextBuffer* column = part_.records;
  if (part_.record_count++ > 0) {
    for (int c = 0; c < 7; ++c) column[c].put(',');
  }
  put_integer(column[0], last_file_);
  put_integer(column[1], finding.line);
  put_integer(column[2], finding.bus);
  put_integer(column[3], name);
  put_data_number(column[4], finding.base_kv);
  put_integer(column[5], unit);
  put_integer(column[6], finding.level);
  ++records_;
  last_.line = finding.line;
  last_.bus = finding.bus;
  last_.level = finding.level;
  last_.base_kv = finding.base_kv;
  last_.file.assign(finding.file);
  last_.bus_name.assign(finding.bus_name);
  last_.unit_id.assign(finding.unit_id);
}

std::uint32_t ReviewPage::rule_of(Model model_of, int code, std::string_view text,
                                  std::string_view parameter) {
  // The rules of one model and code are few (one to three): found among them by their texts.
  const auto model = static_cast<std::int32_t>(model_of);
  const bool direct = model >= 0 && model < static_cast<std::int32_t>(kModelCount) &&
                      code >= 0 && code < kCodes;
  const std::size_t head =
      direct ? static_cast<std::size_t>(model * kCodes + code) : std::size_t{0};
  std::uint32_t last = kNone;  // the last rule of the model and code looked at
  std::uint32_t id = direct ? first_rule_[head] : (rules_.empty() ? kNone : 0);
  while (id != kNone) {
    const Rule& rule = rules_[id];
    if (rule.model == model && rule.code == code && rule.text_bytes == text &&
        rule.parameter_bytes == parameter) {
      return id;
    }
    if (direct) {
      last = id;
      id = rule.next;
    } else {
      id = id + 1 < rules_.size() ? id + 1 : kNone;
    }
  }
  Rule rule;
  rule.model = model;
  rule.code = code;
  rule.text = rule_text(text);
  rule.parameter = rule_text(parameter);
  rule.text_bytes = text;
  rule.parameter_bytes = parameter;
  id = static_cast<std::uint32_t>(rules_.size());
  rules_.push_back(std::move(rule));
  if (direct) (last == kNone ? first_rule_[head] : rules_[last].next) = id;
  return id;
}

void ReviewPage::add(const Finding& finding) {
  if (finished_) return;
  // A record's findings come one after another: most share the record before, compared by the
  // bytes they were given as.
  const bool same_record =
      records_ > 0 && finding.line == last_.line && finding.bus == last_.bus &&
      finding.level == last_.level &&
      std::memcmp(&finding.base_kv, &last_.base_kv, sizeof(float)) == 0 &&
      finding.file == last_.file && finding.bus_name == last_.bus_name &&
      finding.unit_id == last_.unit_id;
  if (!same_record) {
    event_records_.forget();
    add_record(FindingRecord{finding.file, finding.line, finding.model, finding.bus,
                             finding.bus_name, finding.base_kv, finding.unit_id, finding.level});
  }
  add_finding(rule_of(finding.model, finding.code, trim_blanks(finding.rule),
                      trim_blanks(finding.parameter)),
              finding.value, finding.corrected_to);
}

void ReviewPage::finding(const FindingEvent& event) {
  if (finished_ || !event.is_finding) return;
  if (event_records_.next(event)) add_record(event_records_.record());
  // A model and code have one rule text and parameter nearly always: the last is kept.
  if (event_rules_.empty()) event_rules_.resize(kModelCount * kCodes);
  const Model model = event.conversion.model();
  const auto m = static_cast<std::size_t>(model);
  EventRule other;
  EventRule& rule = m < kModelCount && event.code >= 0 && event.code < kCodes
                        ? event_rules_[m * kCodes + static_cast<std::size_t>(event.code)]
                        : other;
  if (rule.id == kNone || rule.slot != event.slot || !same_bytes(rule.text, event.text)) {
    rule.id = rule_of(model, event.code, trim_blanks(rule_text_of(event)),
                      trim_blanks(position_name(event.slot)));
    rule.slot = event.slot;
    rule.text.assign(event.text);
  }
  add_finding(rule.id, event.value, event.corrected_to);
}

void ReviewPage::add_finding(std::uint32_t id, float value,
                             const std::optional<float>& corrected_to) {
  Rule& rule = rules_[id];
  ++rule.count;
  if (corrected_to) ++rule.corrected;

  TextBuffer* column = part_.findings;
  if (part_.finding_count++ > 0) {
    for (int c = 0; c < 4; ++c) column[c].put(',');
  }
  put_integer(column[0], records_ - 1);
  put_integer(column[1], id);
  put_data_number(column[2], value);
  if (corrected_to) {
    put_data_number(column[3], *corrected_to);
  } else {
    column[3].append("null");
  }
  if (part_.bytes() >= limits_.part) write_part();
}

void ReviewPage::add(const Warning& warning) {
  if (!finished_) warnings_.push_back(warning);
}

std::size_t ReviewPage::bytes_kept() const {
  std::size_t bytes = part_.capacity() + first_rule_.capacity() * sizeof(std::uint32_t) +
                      rules_.capacity() * sizeof(Rule) +
                      rule_texts_.capacity() * sizeof(rule_texts_.front());
  bytes += record_texts_.bytes();
  // The texts of the rules are few and short, and those of the last record three short strings.
  bytes += sizeof(Finding) + scratch_.capacity();
  return bytes;
}

void ReviewPage::start_page() {
  if (started_) return;
  started_ = true;
  std::string page;
  page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
          "<meta name=\"generator\" content=\"tpjconv ";
  append_html(page, run_.version);
  page += "\">\n<title>Conversion review: ";
  append_html(page, run_.input);
  page += "</title>\n<style>";
  page += kStyle;
  page += "</style>\n";
  out_.write(page);
}

void ReviewPage::write_columns() {
  static constexpr std::string_view kRecordColumns[] = {"file", "line", "bus",  "name",
                                                        "kv",   "unit", "level"};
  static constexpr std::string_view kFindingColumns[] = {"record", "rule", "value", "to"};
  const auto write = [&](std::string_view group, const auto& names, const TextBuffer* columns) {
    out_.write(group);
    for (std::size_t c = 0; c < std::size(names); ++c) {
      out_.write(c == 0 ? "{\"" : "],\"");
      out_.write(names[c]);
      out_.write("\":[");
      out_.write(columns[c].view());
    }
    out_.write("]}");
  };
  write("\"records\":", kRecordColumns, part_.records);
  write(",\n\"findings\":", kFindingColumns, part_.findings);
}

void ReviewPage::write_part() {
  start_page();
  out_.write("<script type=\"application/json\" class=\"findings-part\">{\"texts\":[");
  out_.write(part_.texts);
  out_.write("],\n");
  write_columns();
  out_.write("}</script>\n");
  part_.clear();
}

void ReviewPage::finish(const Totals& totals, const Outcome& outcome) {
  if (finished_) return;
  finished_ = true;

  // The bars: one per model, code and rule text, longest first, then by model, code and text.
  struct Bar {
    std::int32_t model;
    std::int32_t code;
    std::uint32_t text;
    const std::string* text_bytes;
    long count = 0;
    long corrected = 0;
  };
  std::vector<Bar> bars;
  std::vector<std::uint32_t> bar_of_rule(rules_.size());
  long all_findings = 0;
  long corrected_findings = 0;
  {
    std::map<std::tuple<std::int32_t, std::int32_t, std::string_view>, std::uint32_t> index;
    for (std::size_t r = 0; r < rules_.size(); ++r) {
      const Rule& rule = rules_[r];
      const auto key = std::make_tuple(rule.model, rule.code, std::string_view(rule.text_bytes));
      auto found = index.find(key);
      if (found == index.end()) {
        found = index.emplace(key, static_cast<std::uint32_t>(bars.size())).first;
        bars.push_back(Bar{rule.model, rule.code, rule.text, &rule.text_bytes});
      }
      bar_of_rule[r] = found->second;
      bars[found->second].count += rule.count;
      bars[found->second].corrected += rule.corrected;
      all_findings += rule.count;
      corrected_findings += rule.corrected;
    }
  }
  std::vector<std::uint32_t> order(bars.size());
  for (std::size_t b = 0; b < bars.size(); ++b) order[b] = static_cast<std::uint32_t>(b);
  const auto by_rule = [&](const Bar& a, const Bar& b) {
    return std::make_tuple(a.model, a.code, std::string_view(*a.text_bytes)) <
           std::make_tuple(b.model, b.code, std::string_view(*b.text_bytes));
  };
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    if (bars[a].count != bars[b].count) return bars[a].count > bars[b].count;
    return by_rule(bars[a], bars[b]);
  });
  // The data refers to bars by their place in the chart.
  std::vector<std::uint32_t> place(bars.size());
  for (std::size_t p = 0; p < order.size(); ++p) place[order[p]] = static_cast<std::uint32_t>(p);
  const auto bar_key = [&](const Bar& bar) {
    std::string key(model_name(static_cast<Model>(bar.model)));
    key += ' ';
    append_code(key, bar.code);
    key += ' ';
    key += *bar.text_bytes;
    return key;
  };

  std::string page;
  page.reserve(kPiece + 4096);
  const auto pass_on = [&](bool whole) {
    if (whole || page.size() >= kPiece) {
      out_.write(page);
      page.clear();
    }
  };

  // ---- Heading and the run ----
  start_page();
  page += "</head>\n<body>\n<header>\n<h1>Conversion review: ";
  append_html(page, run_.input);
  page += "</h1>\n<p class=\"outcome";
  if (outcome.status != 0) page += " failed";
  page += "\">Outcome: ";
  append_html(page, outcome.text);
  page += " (status " + number_text(outcome.status) + ")</p>\n</header>\n";

  page += "<section id=\"run\" aria-labelledby=\"run-h\">\n<h2 id=\"run-h\">The run</h2>\n"
          "<dl class=\"settings\">\n<dt>Input</dt><dd><code>";
  append_html(page, run_.input);
  page += "</code></dd>\n<dt>Bus numbers file</dt><dd>";
  if (run_.bus_file) {
    page += "<code>";
    append_html(page, *run_.bus_file);
    page += "</code>";
  } else {
    page += "none: every generator of the enabled models";
  }
  page += "</dd>\n<dt>Kis</dt><dd>";
  for (const Model model : kModels) {
    const auto& kis = run_.kis[static_cast<int>(model)];
    if (model != Model::gensal) page += "; ";
    page += model_name(model);
    page += ' ';
    if (kis) {
      append_float(page, *kis);
    } else {
      page += "not converted";
    }
  }
  page += "</dd>\n<dt>tcmin</dt><dd>";
  append_float(page, run_.tcmin);
  page += "</dd>\n<dt>Time of the run</dt><dd>";
  append_html(page, time_);
  page += "</dd>\n<dt>Tool</dt><dd>tpjconv ";
  append_html(page, run_.version);
  page += "</dd>\n<dt>Arguments</dt><dd>";
  for (std::size_t a = 0; a < run_.arguments.size(); ++a) {
    if (a > 0) page += ' ';
    page += "<code>";
    append_html(page, run_.arguments[a]);
    page += "</code>";
  }
  page += "</dd>\n</dl>\n";

  page += "<table class=\"totals\">\n<caption>Records per model</caption>\n<thead><tr>"
          "<th scope=\"col\">Model</th><th scope=\"col\" class=\"num\">Read</th>"
          "<th scope=\"col\" class=\"num\">Changed</th></tr></thead>\n<tbody>\n";
  long all_read = 0;
  long all_changed = 0;
  for (const Model model : kModels) {
    const int m = static_cast<int>(model);
    all_read += totals.read[m];
    all_changed += totals.changed[m];
    page += "<tr><th scope=\"row\">";
    page += model_name(model);
    page += "</th><td class=\"num\">" + number_text(totals.read[m]) + "</td><td class=\"num\">" +
            number_text(totals.changed[m]) + "</td></tr>\n";
  }
  page += "<tr><th scope=\"row\">all</th><td class=\"num\">" + number_text(all_read) +
          "</td><td class=\"num\">" + number_text(all_changed) + "</td></tr>\n</tbody>\n</table>\n";
  page += "<p class=\"counts\"><strong>" + number_text(all_findings) +
          (all_findings == 1 ? " finding" : " findings") + "</strong>: " +
          number_text(corrected_findings) + " corrected, " +
          number_text(all_findings - corrected_findings) + " not corrected. <strong>" +
          number_text(static_cast<long long>(warnings_.size())) +
          (warnings_.size() == 1 ? " warning" : " warnings") + "</strong>.</p>\n</section>\n";

  // ---- The chart ----
  page += "<section id=\"chart\" aria-labelledby=\"chart-h\">\n<h2 id=\"chart-h\">Findings per "
          "rule</h2>\n";
  if (bars.empty()) {
    page += "<p>No record broke a rule.</p>\n";
  } else {
    const long longest = bars[order.front()].count;
    const int height = kLegendHeight + static_cast<int>(bars.size()) * kRowHeight + 6;
    page += "<p class=\"note\">One bar per rule of each model: the findings whose value was "
            "corrected (check level 0), then those left as they were (check level 1, or a rule "
            "that only reports). Select a bar to list its findings in the table.</p>\n";
    page += "<svg xmlns=\"http://www.w3.org/2000/svg\" role=\"group\" aria-labelledby=\"chart-h\" "
            "width=\"" + number_text(kChartWidth) + "\" height=\"" + number_text(height) +
            "\" viewBox=\"0 0 " + number_text(kChartWidth) + ' ' + number_text(height) + "\">\n";
    // The legend.
    page += "<g class=\"legend\" aria-hidden=\"true\">"
            "<rect class=\"corrected\" x=\"" + number_text(kLabelWidth) +
            "\" y=\"6\" width=\"14\" height=\"14\"/><text x=\"" + number_text(kLabelWidth + 20) +
            "\" y=\"18\">corrected</text>"
            "<rect class=\"uncorrected\" x=\"" + number_text(kLabelWidth + 110) +
            "\" y=\"6\" width=\"14\" height=\"14\"/><text x=\"" +
            number_text(kLabelWidth + 130) + "\" y=\"18\">not corrected</text></g>\n";
    for (std::size_t p = 0; p < order.size(); ++p) {
      const Bar& bar = bars[order[p]];
      const std::string key = bar_key(bar);
      const long uncorrected = bar.count - bar.corrected;
      // Widths in whole pixels, at least one for a part that has findings.
      const auto width_of = [&](long count) {
        if (count == 0) return 0L;
        return std::max(1L, std::lround(static_cast<double>(count) * kBarArea /
                                        static_cast<double>(longest)));
      };
      const long corrected_width = width_of(bar.corrected);
      const long uncorrected_width =
          bar.corrected == 0 ? width_of(bar.count)
                             : std::max(uncorrected > 0 ? 1L : 0L,
                                        width_of(bar.count) - corrected_width);
      const int top = kLegendHeight + static_cast<int>(p) * kRowHeight;
      const int bar_top = top + (kRowHeight - kBarHeight) / 2;
      const int baseline = top + kRowHeight / 2 + 5;
      std::string about = key + ": " + number_text(bar.count) +
                          (bar.count == 1 ? " finding, " : " findings, ") +
                          number_text(bar.corrected) + " corrected, " + number_text(uncorrected) +
                          " not corrected";
      page += "<a href=\"?rule=";
      append_query_value(page, key);
      page += "#findings\" data-bar=\"" + number_text(static_cast<long long>(p)) +
              "\" data-key=\"";
      append_html(page, key);
      page += "\" aria-label=\"";
      append_html(page, about);
      page += "\"><title>";
      append_html(page, about);
      page += "</title><rect class=\"hit\" x=\"1\" y=\"" + number_text(top + 1) + "\" width=\"" +
              number_text(kChartWidth - 2) + "\" height=\"" + number_text(kRowHeight - 2) +
              "\"/><text class=\"label\" x=\"" + number_text(kLabelWidth - 8) + "\" y=\"" +
              number_text(baseline) + "\" text-anchor=\"end\">";
      if (key.size() > kLabelChars) {
        // Cut at a character's start, never inside a UTF-8 sequence.
        std::size_t cut = kLabelChars - 1;
        while (cut > 0 && (static_cast<unsigned char>(key[cut]) & 0xC0) == 0x80) --cut;
        append_html(page, std::string_view(key).substr(0, cut));
        page += "\xE2\x80\xA6";  // an ellipsis
      } else {
        append_html(page, key);
      }
      page += "</text>";
      long x = kLabelWidth;
      for (const auto& [count, width, cls] :
           {std::make_tuple(bar.corrected, corrected_width, "corrected"),
            std::make_tuple(uncorrected, uncorrected_width, "uncorrected")}) {
        if (width == 0) continue;
        page += "<rect class=\"" + std::string(cls) + "\" x=\"" + number_text(x) + "\" y=\"" +
                number_text(bar_top) + "\" width=\"" + number_text(width) + "\" height=\"" +
                number_text(kBarHeight) + "\"/>";
        // The count inside its part where it fits.
        const std::string digits = number_text(count);
        if (width >= static_cast<long>(digits.size()) * 8 + 8) {
          page += "<text class=\"in-" + std::string(cls) + "\" x=\"" +
                  number_text(x + width / 2) + "\" y=\"" + number_text(baseline) +
                  "\" text-anchor=\"middle\">" + digits + "</text>";
        }
        x += width;
      }
      page += "<text class=\"total\" x=\"" + number_text(x + 6) + "\" y=\"" +
              number_text(baseline) + "\">" + number_text(bar.count) + "</text></a>\n";
      pass_on(false);
    }
    page += "</svg>\n";
  }
  page += "</section>\n";

  // ---- The table, filled by the script ----
  page += "<section id=\"findings\" aria-labelledby=\"findings-h\">\n<h2 id=\"findings-h\">"
          "Findings</h2>\n<form id=\"filters\" class=\"controls\" role=\"search\" "
          "aria-label=\"Filter the findings\" hidden onsubmit=\"return false\">\n"
          "<label>Model <select id=\"f-model\"><option value=\"\">all models</option>";
  for (const Model model : kModels) {
    page += "<option>";
    page += model_name(model);
    page += "</option>";
  }
  page += "</select></label>\n<label>Rule <select id=\"f-rule\"><option value=\"\">all rules"
          "</option>";
  {
    std::vector<std::uint32_t> by_name = order;
    std::sort(by_name.begin(), by_name.end(),
              [&](std::uint32_t a, std::uint32_t b) { return by_rule(bars[a], bars[b]); });
    for (const std::uint32_t b : by_name) {
      const std::string key = bar_key(bars[b]);
      page += "<option value=\"";
      append_html(page, key);
      page += "\">";
      append_html(page, key);
      page += " (" + number_text(bars[b].count) + ")</option>";
    }
  }
  page += "</select></label>\n<label>Bus number or name <input id=\"f-q\" type=\"search\" "
          "autocomplete=\"off\"></label>\n<button type=\"button\" id=\"f-clear\">Clear filters"
          "</button>\n</form>\n"
          "<p id=\"status\" role=\"status\" hidden><span id=\"count\">" +
          number_text(all_findings) + "</span> of " + number_text(all_findings) +
          " findings match<span id=\"filtering\"></span>; page <span id=\"page\">1</span> of "
          "<span id=\"pages\">1</span>.</p>\n"
          "<div id=\"pager\" class=\"pager\" hidden><button type=\"button\" id=\"prev\">Previous "
          "page</button><button type=\"button\" id=\"next\">Next page</button></div>\n"
          "<table id=\"table\">\n<caption id=\"caption\">Findings</caption>\n<thead><tr>";
  for (const auto& [key, heading] : kColumns) {
    page += "<th scope=\"col\" data-key=\"";
    page += key;
    page += "\" aria-sort=\"none\"><button type=\"button\">";
    page += heading;
    page += "<span class=\"arrow\" aria-hidden=\"true\"></span></button></th>";
  }
  page += "</tr></thead>\n<tbody id=\"rows\"></tbody>\n</table>\n<noscript><p>The table of "
          "findings is drawn by the page's script, which is off: the chart above and the check "
          "log give the same findings.</p></noscript>\n</section>\n";

  // ---- The warnings ----
  page += "<section id=\"warnings\" aria-labelledby=\"warnings-h\">\n<h2 id=\"warnings-h\">"
          "Warnings</h2>\n";
  if (warnings_.empty()) page += "<p>No warnings.</p>\n";
  for (const WarningKind kind : kKinds) {
    long count = 0;
    for (const Warning& warning : warnings_) count += warning.kind == kind ? 1 : 0;
    if (count == 0) continue;
    page += "<h3>";
    page += kind_heading(kind);
    page += " (" + number_text(count) + ")</h3>\n<ul class=\"warnings\">\n";
    for (const Warning& warning : warnings_) {
      if (warning.kind != kind) continue;
      page += "<li>";
      if (!warning.file.empty()) {
        page += "<span class=\"where mono\">";
        append_html(page, warning.file);
        if (warning.line != 0) page += ':' + number_text(warning.line);
        page += ":</span> ";
      }
      page += "<span class=\"text mono\">";
      append_html(page, warning.text);
      page += "</span></li>\n";
      pass_on(false);
    }
    page += "</ul>\n";
  }
  page += "</section>\n";

  // ---- About ----
  page += "<footer>\n<h2>About this page</h2>\n<p>Written by tpjconv ";
  append_html(page, run_.version);
  page += ". It needs nothing beside it: the chart is drawn in the page and the findings are "
          "held in it. A query string opens the table filtered, for example "
          "<code>?model=genrou&amp;code=208&amp;q=102&amp;sort=-value&amp;page=2</code>: "
          "<code>model</code> (gensal, gentpf or genrou), <code>code</code> (a check code), "
          "<code>rule</code> (a bar's label: model, code and rule text), <code>q</code> (a bus "
          "number, or a part of a bus name), <code>sort</code> (line, model, bus, name, unit, "
          "level, code, rule, parameter, value or corrected; a leading <code>-</code> sorts "
          "descending) and <code>page</code>.</p>\n</footer>\n";

  // ---- The data, once, in columns ----
  // ---- The last part of the data, with the bars and rules ----
  page += "<script type=\"application/json\" id=\"findings-data\">{\"texts\":[";
  page += part_.texts;
  page += "],\n\"bars\":{";
  const auto bar_column = [&](std::string_view name, auto field, bool last) {
    page += '"';
    page += name;
    page += "\":[";
    for (std::size_t p = 0; p < order.size(); ++p) {
      if (p > 0) page += ',';
      append_integer(page, field(bars[order[p]]));
    }
    page += last ? "]" : "],";
  };
  bar_column("model", [](const Bar& b) { return b.model; }, false);
  bar_column("code", [](const Bar& b) { return b.code; }, false);
  bar_column("text", [](const Bar& b) { return b.text; }, false);
  bar_column("count", [](const Bar& b) { return b.count; }, false);
  bar_column("corrected", [](const Bar& b) { return b.corrected; }, true);
  page += "},\n\"rules\":{\"bar\":[";
  for (std::size_t r = 0; r < rules_.size(); ++r) {
    if (r > 0) page += ',';
    append_integer(page, place[bar_of_rule[r]]);
  }
  page += "],\"parameter\":[";
  for (std::size_t r = 0; r < rules_.size(); ++r) {
    if (r > 0) page += ',';
    append_integer(page, rules_[r].parameter);
  }
  page += "]},\n";
  pass_on(true);
  write_columns();
  page += "}</script>\n<script>";
  page += kScript;
  page += "</script>\n</body>\n</html>\n";
  pass_on(true);
}

}  // namespace tpjconv
