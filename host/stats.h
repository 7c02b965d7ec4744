// Counts that reveal leaks of the host process's kernel handles and GDI objects.
#pragma once

// Open kernel handles of this process. GetProcessHandleCount where it answers; where it
// answers 0 (Wine), every handle value is probed with GetHandleInformation.
int CountProcessHandles();
// GDI objects of this process. GetGuiResources where it answers; where it answers 0 (Wine),
// every slot of the GDI handle table is probed with GetObjectType.
int CountGdiObjects();
