/* A program planted where no tool may be taken from. When it is started, it
 * leaves the file "planted-ran" in its current directory and fails. */
#include <stdio.h>

int main(void) {
  FILE *mark = fopen("planted-ran", "w");
  if (mark != NULL) {
    fputs("a planted program was started\n", mark);
    fclose(mark);
  }
  return 3;
}
