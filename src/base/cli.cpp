// The command-line pieces shared by vorlank-check and vorlank-design.
#include "base/cli.h"

#include <cstdio>

namespace cli {

int fail(const std::string &what, const char *use) {
  fprintf(stderr, "Error: %s\n%s", what.c_str(), use ? use : "");
  return 2;
}

std::string decimal(const std::string &name, const std::string &s, int most, uint64_t &v) {
  if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos)
    return name + " must be a plain decimal number (here '" + s + "')";
  size_t nz = s.find_first_not_of('0');
  if (nz != std::string::npos && (int)(s.size() - nz) > most)
    return name + " is too large (here " + s + ")";
  v = std::stoull(s);
  return "";
}

std::string parse_args(int argc, char **argv, const std::vector<Option> &options, Args &out) {
  out = Args();
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    if (a.size() < 2 || a[0] != '-' || (a[1] >= '0' && a[1] <= '9')) {
      out.pos.push_back(a);
      continue;
    }
    if (a == "--help" || a == "-h") {
      out.help = true;
      return "";
    }
    size_t eq = a.find('=');
    std::string name = a.substr(0, eq);
    const Option *o = nullptr;
    for (const Option &c : options)
      if (c.name == name) o = &c;
    if (!o) return "unknown option '" + a + "'";
    if (out.has(name)) return name + " is given twice";
    std::string value;
    if (!o->value_is) {
      if (eq != std::string::npos) return name + " takes no value (here '" + a + "')";
    } else if (eq != std::string::npos) {
      value = a.substr(eq + 1);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      return name + " needs " + o->value_is;
    }
    if (o->value_is && value.empty())
      return name + " needs " + o->value_is + " (here an empty word)";
    out.given[name] = value;
  }
  return "";
}

std::string instance(const std::vector<std::string> &words, Instance &in, bool *usage) {
  int *field[] = {&in.n, &in.k, &in.x, &in.t};
  const char *names[] = {"n", "k", "x", "t"};
  *usage = true;
  for (int i = 0; i < 4; i++) {
    uint64_t v;
    if (std::string err = decimal(names[i], words[i], 9, v); !err.empty()) return err;
    *field[i] = (int)v;
  }
  *usage = false;
  auto is = [](const char *name, int v) { return std::string(name) + " = " + std::to_string(v); };
  auto here = [&](const char *a, int va, const char *b, int vb) {
    return " (here " + is(a, va) + ", " + is(b, vb) + ")";
  };
  if (in.n <= 1) return "n must be greater than 1 (here " + is("n", in.n) + ")";
  if (in.k >= in.n) return "k must be less than n" + here("k", in.k, "n", in.n);
  if (in.x >= in.n) return "x must be less than n" + here("x", in.x, "n", in.n);
  if (in.t > in.x) return "t must be at most x" + here("t", in.t, "x", in.x);
  if (in.k < 1 || in.x < 1) return "k and x must be at least 1" + here("k", in.k, "x", in.x);
  if (in.t > in.k)
    return "t must be at most k, or no k-set can ever be covered" + here("t", in.t, "k", in.k);
  return "";
}

}  // namespace cli
