#include <cmath>

#include "world/VelAllocator.h"
#include "world/VelButterflySystem.h"

int32_t initializeVelFlockBinCollection(VelFlockBinCollection* collection, int32_t max_bins,
                                        int32_t max_elements) {
  // Every field is set before anything can fail, so that a half-built index
  // can always be released; a count of zero or below allocates nothing.
  collection->max_bins = 0;
  collection->bins = nullptr;
  collection->max_elements = 0;
  collection->elements = nullptr;

  if (max_bins > 0) {
    collection->bins = static_cast<VelFlockBinLinkedListElement**>(
        velAllocate(sizeof(VelFlockBinLinkedListElement*) * std::size_t(max_bins)));
    if (!collection->bins) return 1;
    collection->max_bins = max_bins;
  }
  if (max_elements > 0) {
    collection->elements = static_cast<VelFlockBinLinkedListElement*>(
        velAllocate(sizeof(VelFlockBinLinkedListElement) * std::size_t(max_elements)));
    if (!collection->elements) return 1;
    collection->max_elements = max_elements;
  }
  for (int32_t b = 0; b < collection->max_bins; ++b) collection->bins[b] = nullptr;
  for (int32_t i = 0; i < collection->max_elements; ++i) {
    collection->elements[i].node = i;
    collection->elements[i].curr_bin = -1;
    collection->elements[i].next = nullptr;
  }
  return 0;
}

void freeVelFlockBinCollection(VelFlockBinCollection* collection) {
  if (collection->max_bins > 0 && collection->bins) {
    velRelease(collection->bins);
    collection->bins = nullptr;
    collection->max_bins = 0;
  }
  if (collection->max_elements > 0 && collection->elements) {
    velRelease(collection->elements);
    collection->elements = nullptr;
    collection->max_elements = 0;
  }
}

static int32_t cellCoordinate(float v) {
  if (v < 0.0f) return 0;
  if (v > 1.0f) return 9;
  if (std::isnan(v)) return 0;  // no cell; keep the bin number in range
  // v * 10 is not negative here, so truncation is the floor.
  const int32_t cell = int32_t(v * 10.0f);
  return cell < 9 ? cell : 9;
}

int32_t compute_node_index(Vector3Float position) {
  return cellCoordinate(position.x) * 100 + cellCoordinate(position.y) * 10 + cellCoordinate(position.z);
}

void removeNodeFromCurrBin(VelFlockBinCollection* collection, int32_t node) {
  if (node < 0 || node >= collection->max_elements) return;
  VelFlockBinLinkedListElement* element = &collection->elements[node];
  const int32_t b = element->curr_bin;
  if (b < 0 || b >= collection->max_bins || !collection->bins[b]) return;

  VelFlockBinLinkedListElement* head = collection->bins[b];
  if (head->node == node) {
    collection->bins[b] = head->next;
    element->next = nullptr;
    element->curr_bin = -1;
    return;
  }
  VelFlockBinLinkedListElement* previous = head;
  for (int32_t steps = 0; steps < collection->max_elements && previous->next; ++steps) {
    VelFlockBinLinkedListElement* candidate = previous->next;
    if (candidate->node == node) {
      previous->next = candidate->next;
      element->next = nullptr;
      element->curr_bin = -1;
      return;
    }
    previous = candidate;
  }
}

void addNodeToBin(VelFlockBinCollection* collection, int32_t node, int32_t bin) {
  if (node < 0 || node >= collection->max_elements || bin < 0 || bin >= collection->max_bins) return;
  VelFlockBinLinkedListElement* element = &collection->elements[node];
  if (element->curr_bin >= 0) removeNodeFromCurrBin(collection, node);
  element->curr_bin = bin;
  if (!collection->bins[bin]) {
    collection->bins[bin] = element;
  } else {
    // Append at the tail: the lists keep filing order.
    VelFlockBinLinkedListElement* last = collection->bins[bin];
    for (int32_t steps = 0; steps < collection->max_elements && last->next; ++steps) last = last->next;
    last->next = element;
  }
  element->next = nullptr;
  element->curr_bin = bin;
}
