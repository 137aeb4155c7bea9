// Keeps the artwork object library non-empty while the resources are added.
namespace vexlo::artwork {
int anchor = 0;
}
