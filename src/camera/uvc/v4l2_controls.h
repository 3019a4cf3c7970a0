#pragma once
// The UVCCamera property numbers (uvc_properties.h) on V4L2 controls. Every call answers 0 for
// success and -1 when the device lacks the property or refuses the call.

#include "camera/uvc/uvc_properties.h"
#include "camera/uvc/v4l2_device.h"

int GetUvcPropertyRange(const CV4l2Device& dev, int property, double* min, double* max,
                        double* value);
int GetUvcProperty(const CV4l2Device& dev, int property, double* value, int* automatic);
int DescribeUvcProperty(const CV4l2Device& dev, int property, UvcPropertyInfo* info);
int SetUvcProperty(const CV4l2Device& dev, int property, double value, int flag);
