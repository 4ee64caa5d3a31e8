/* Prints a content module's detect string, the text Double Commander asks
 * for (ContentGetDetectString) and stores in its configuration when a user
 * adds the module under Options > Plugins > WDX > Add.
 * Usage: detect_string MODULE */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

typedef int (*DetectFn)(char *buffer, int maxLength);

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: detect_string MODULE\n");
    return 2;
  }
  void *module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (module == NULL) {
    fprintf(stderr, "detect_string: cannot load %s: %s\n", argv[1], dlerror());
    return 1;
  }
  DetectFn detect = (DetectFn)dlsym(module, "ContentGetDetectString");
  if (detect == NULL) {
    fprintf(stderr, "detect_string: %s exports no ContentGetDetectString\n", argv[1]);
    return 1;
  }
  /* Room for any detect string a module of this kind would give. */
  char buffer[1024];
  memset(buffer, 0, sizeof buffer);
  detect(buffer, (int)sizeof buffer);
  buffer[sizeof buffer - 1] = '\0';
  printf("%s\n", buffer);
  /* The module stays loaded until exit: unloading it here would only
   * exercise its unload path, which is not what this tool is for. */
  return 0;
}
