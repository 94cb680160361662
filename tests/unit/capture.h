// Captures what a piece of the tool prints on standard output.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

template <class F> std::string capture(F f) {
  fflush(stdout);
  FILE *tmp = tmpfile();
  int saved = dup(1);
  dup2(fileno(tmp), 1);
  f();
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  std::string out;
  rewind(tmp);
  for (int c; (c = fgetc(tmp)) != EOF;) out += (char)c;
  fclose(tmp);
  return out;
}
